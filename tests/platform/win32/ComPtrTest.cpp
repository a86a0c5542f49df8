#include "platform/win32/ComPtr.h"

#include <gtest/gtest.h>

#include "platform/win32/ComApartment.h"

namespace ko {
namespace {

// A COM object that counts its references and offers IUnknown and IPersist.
class CountedObject : public IPersist {
  public:
    ULONG refs = 1;  // the creator's reference

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist)) {
            *out = static_cast<IPersist*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
};

TEST(ComPtr, CountsReferencesThroughCopyMoveAndReset) {
    CountedObject object;
    {
        ComPtr<IPersist> shared(&object);
        EXPECT_EQ(object.refs, 2u);
        ComPtr<IPersist> copy = shared;
        EXPECT_EQ(object.refs, 3u);
        ComPtr<IPersist> moved = std::move(copy);
        EXPECT_EQ(object.refs, 3u);
        EXPECT_FALSE(copy);
        copy = moved;
        EXPECT_EQ(object.refs, 4u);
        copy = copy;
        EXPECT_EQ(object.refs, 4u);
        moved.Reset();
        EXPECT_EQ(object.refs, 3u);
    }
    EXPECT_EQ(object.refs, 1u);
}

TEST(ComPtr, AttachDetachAndPutHandOverOwnership) {
    CountedObject object;
    ComPtr<IPersist> pointer;
    pointer.Attach(&object);  // takes the creator's reference
    EXPECT_EQ(object.refs, 1u);
    IPersist* raw = pointer.Detach();
    EXPECT_EQ(raw, &object);
    EXPECT_FALSE(pointer);
    EXPECT_EQ(object.refs, 1u);

    pointer.Attach(raw);
    object.AddRef();
    // Put releases what it held before handing out the slot.
    IPersist** slot = pointer.Put();
    EXPECT_EQ(object.refs, 1u);
    EXPECT_EQ(*slot, nullptr);
    *slot = &object;
    pointer.Reset();
    EXPECT_EQ(object.refs, 0u);
}

TEST(ComPtr, QueryInterfaceFillsOnlyOnSuccess) {
    CountedObject object;
    ComPtr<IPersist> persist(&object);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(persist.QueryInterface(IID_IUnknown, unknown), S_OK);
    EXPECT_TRUE(unknown);
    EXPECT_EQ(object.refs, 3u);

    ComPtr<IStream> stream;
    EXPECT_EQ(persist.QueryInterface(IID_IStream, stream), E_NOINTERFACE);
    EXPECT_FALSE(stream);
    EXPECT_EQ(object.refs, 3u);

    ComPtr<IPersist> empty;
    EXPECT_EQ(empty.QueryInterface(IID_IUnknown, unknown), E_POINTER);
    EXPECT_FALSE(unknown);
    EXPECT_EQ(object.refs, 2u);
}

TEST(ComApartment, NestsAndBalances) {
    ComApartment outer;
    ASSERT_TRUE(outer.Ok());
    {
        ComApartment inner;
        EXPECT_TRUE(inner.Ok());
        EXPECT_EQ(inner.Result(), S_FALSE) << "already initialised on this thread";
    }
    // The apartment is still usable after the inner guard went away.
    ComPtr<IUnknown> object;
    EXPECT_TRUE(SUCCEEDED(CreateBindCtx(0, reinterpret_cast<IBindCtx**>(object.Put()))));
    EXPECT_TRUE(object);
}

}  // namespace
}  // namespace ko
