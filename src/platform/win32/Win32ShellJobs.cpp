#include "platform/win32/Win32ShellJobs.h"

#include <windows.h>

#include <oaidl.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/EventLoop.h"
#include "platform/win32/AnsiText.h"
#include "platform/win32/ComPtr.h"
#include "shared/Logger.h"
#include "shared/UniqueResource.h"

namespace ko {

namespace {

// The browser's URL history store and its interface that can clear everything at once.
const CLSID kUrlHistory = {
    0x3c374a40, 0xbae4, 0x11cf, {0xbf, 0x7d, 0x00, 0xaa, 0x00, 0x69, 0x46, 0xee}};
const IID kUrlHistoryStg2 = {
    0xafa0dc11, 0xc313, 0x11d0, {0x83, 0x1a, 0x00, 0xc0, 0x4f, 0xd5, 0xae, 0x38}};

// The store's interface as far as ClearHistory: IUnknown, then IUrlHistoryStg's five methods,
// then IUrlHistoryStg2's AddUrlAndNotify and ClearHistory.
struct UrlHistoryStg2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddUrl(LPCOLESTR, LPCOLESTR, DWORD) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteUrl(LPCOLESTR, DWORD) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryUrl(LPCOLESTR, DWORD, void*) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindToObject(LPCOLESTR, REFIID, void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumUrls(void**) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUrlAndNotify(LPCOLESTR, LPCOLESTR, DWORD, BOOL, IUnknown*,
                                                      IUnknown*) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearHistory() = 0;
};

struct UrlCacheFindTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type value) { return FindCloseUrlCache(value) != FALSE; }
};
using UniqueUrlCacheFind = UniqueResource<UrlCacheFindTraits>;

struct FileFindTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type value) { return FindClose(value) != FALSE; }
};
using UniqueFileFind = UniqueResource<FileFindTraits>;

bool DryRunRequested() {
    char value[8] = {};
    DWORD length = GetEnvironmentVariableA("OSTREL_DRY_RUN", value, sizeof value);
    return length > 0 && length < sizeof value && std::strcmp(value, "0") != 0;
}

// HACK: Wine's URL history store hands out IUrlHistoryStg2 with a function table that ends before
// ClearHistory, so the call jumps into nothing. Under Wine the store is created (its failure path
// stays exercised) but never called.
bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The program or document a command names: its quoted first part, else its first word.
std::string CommandTarget(const std::string& command) {
    std::size_t start = command.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return {};
    }
    if (command[start] == '"') {
        std::size_t end = command.find('"', start + 1);
        return command.substr(start + 1,
                              end == std::string::npos ? std::string::npos : end - start - 1);
    }
    std::size_t end = command.find_first_of(" \t", start);
    return command.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// HACK: Wine's script host shows a modal "file not found" box for a command it cannot start, and
// the watcher's only thread then waits for a click that never comes. Under Wine a target that is
// neither a file, nor a program on the search path, nor an address is refused before the call.
bool WineCannotFind(const std::string& command) {
    const std::string target = CommandTarget(command);
    if (target.empty()) {
        return true;
    }
    if (target.find("://") != std::string::npos ||
        GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    char found[MAX_PATH];
    return SearchPathA(nullptr, target.c_str(), ".exe", MAX_PATH, found, nullptr) == 0;
}

std::string Hex(HRESULT result) {
    char text[16];
    wsprintfA(text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

// Reads one cache entry into buffer, growing it when the entry needs more room. first: the
// find-first call (which opens find), else find-next.
bool ReadCacheEntry(bool first, UniqueUrlCacheFind& find, std::vector<BYTE>& buffer) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (buffer.size() < sizeof(INTERNET_CACHE_ENTRY_INFOA)) {
            buffer.resize(4096);
        }
        auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
        entry->dwStructSize = sizeof(INTERNET_CACHE_ENTRY_INFOA);
        DWORD size = static_cast<DWORD>(buffer.size());
        if (first) {
            HANDLE handle = FindFirstUrlCacheEntryA(nullptr, entry, &size);
            if (handle != nullptr) {
                find.Reset(handle);
                return true;
            }
        } else if (FindNextUrlCacheEntryA(find.Get(), entry, &size)) {
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return false;
        }
        buffer.resize(size);
    }
    return false;
}

class Win32DirectoryListing : public DirectoryListing {
  public:
    Win32DirectoryListing(UniqueFileFind find, const WIN32_FIND_DATAA& first)
        : m_find(std::move(find)), m_data(first), m_pending(true) {}

    bool Next(Entry& entry) override {
        while (m_pending || FindNextFileA(m_find.Get(), &m_data)) {
            m_pending = false;
            if (std::strcmp(m_data.cFileName, ".") == 0 ||
                std::strcmp(m_data.cFileName, "..") == 0) {
                continue;
            }
            entry.name = m_data.cFileName;
            const DWORD attributes = m_data.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                // Junctions, symbolic links and mounted volumes: the walk stays on its disk.
                entry.kind = Kind::Other;
            } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                entry.kind = Kind::Directory;
            } else {
                entry.kind = Kind::File;
            }
            return true;
        }
        return false;
    }

  private:
    UniqueFileFind m_find;
    WIN32_FIND_DATAA m_data;
    bool m_pending;
};

}  // namespace

Win32ShellJobs::Win32ShellJobs(EventLoop& loop) : Win32ShellJobs(loop, DryRunRequested()) {}

Win32ShellJobs::Win32ShellJobs(EventLoop& loop, bool dryRun) : m_loop(loop), m_dryRun(dryRun) {}

Win32ShellJobs::~Win32ShellJobs() {
    *m_alive = false;
}

std::vector<std::string> Win32ShellJobs::NormalCacheEntries() {
    std::vector<std::string> urls;
    UniqueUrlCacheFind find;
    std::vector<BYTE> buffer;
    for (bool more = ReadCacheEntry(true, find, buffer); more;
         more = ReadCacheEntry(false, find, buffer)) {
        const auto* entry = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
        // Cookies and history records carry the normal bit too on some versions: their own
        // bits keep them.
        const DWORD kept = COOKIE_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY;
        if ((entry->CacheEntryType & NORMAL_CACHE_ENTRY) != 0 &&
            (entry->CacheEntryType & kept) == 0 && entry->lpszSourceUrlName != nullptr) {
            urls.emplace_back(entry->lpszSourceUrlName);
        }
    }
    // The enumeration is closed here, before anything is deleted.
    return urls;
}

void Win32ShellJobs::DeleteUrlCache(Done done) {
    auto urls = std::make_shared<std::vector<std::string>>(NormalCacheEntries());
    if (m_dryRun) {
        Logger::Info("dry run: would delete " + std::to_string(urls->size()) +
                     " URL cache entries");
        urls->clear();
    }
    m_loop.Post(
        [this, alive = std::weak_ptr<bool>(m_alive), urls, done = std::move(done)]() mutable {
            if (auto still = alive.lock(); still && *still) {
                DeleteSome(std::move(urls), 0, std::move(done));
            }
        });
}

void Win32ShellJobs::DeleteSome(std::shared_ptr<std::vector<std::string>> urls, std::size_t next,
                                Done done) {
    const std::size_t end = std::min(urls->size(), next + kDeletionsPerTurn);
    for (; next < end; ++next) {
        // An entry in use stays.
        DeleteUrlCacheEntryA((*urls)[next].c_str());
    }
    if (next >= urls->size()) {
        done();
        return;
    }
    m_loop.Post(
        [this, alive = std::weak_ptr<bool>(m_alive), urls, next, done = std::move(done)]() mutable {
            if (auto still = alive.lock(); still && *still) {
                DeleteSome(std::move(urls), next, std::move(done));
            }
        });
}

void Win32ShellJobs::ClearUrlHistory(Done done) {
    ComPtr<UrlHistoryStg2> history;
    HRESULT result =
        CoCreateInstance(kUrlHistory, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                         kUrlHistoryStg2, history.PutVoid());
    if (FAILED(result)) {
        Logger::Error("URL history store not available: " + Hex(result));
    } else if (m_dryRun) {
        Logger::Info("dry run: would clear the URL history");
    } else if (RunningUnderWine()) {
        Logger::Error("URL history not cleared: this store cannot clear under Wine");
    } else if (FAILED(result = history->ClearHistory())) {
        Logger::Error("URL history not cleared: " + Hex(result));
    }
    m_loop.Post(std::move(done));
}

bool Win32ShellJobs::Run(const std::string& command) {
    if (RunningUnderWine() && WineCannotFind(command)) {
        Logger::Debug("could not run " + command + ": not found");
        return false;
    }
    CLSID shellClass;
    ComPtr<IDispatch> shell;
    HRESULT result = CLSIDFromProgID(L"WScript.Shell", &shellClass);
    if (SUCCEEDED(result)) {
        result = CoCreateInstance(shellClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_IDispatch, shell.PutVoid());
    }
    if (FAILED(result)) {
        Logger::Debug("script host shell not available: " + Hex(result));
        return false;
    }
    OLECHAR name[] = L"Run";
    LPOLESTR names[] = {name};
    DISPID run = 0;
    if (FAILED(shell->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &run))) {
        return false;
    }
    // Window style and waiting stay at their defaults: a normal window, no waiting.
    UniqueBstr text(command);
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = text.Get();
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    UniqueVariant answer;
    EXCEPINFO error = {};
    result = shell->Invoke(run, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                           answer.Get(), &error, nullptr);
    SysFreeString(error.bstrSource);
    SysFreeString(error.bstrDescription);
    SysFreeString(error.bstrHelpFile);
    if (FAILED(result)) {
        Logger::Debug("could not run " + command + ": " + Hex(result));
        return false;
    }
    return true;
}

std::vector<std::string> Win32ShellJobs::FixedDriveRoots() {
    std::vector<std::string> roots;
    char drives[4 * 26 + 2] = {};
    DWORD length = GetLogicalDriveStringsA(sizeof drives, drives);
    if (length == 0 || length >= sizeof drives) {
        return roots;
    }
    for (const char* drive = drives; *drive != '\0'; drive += std::strlen(drive) + 1) {
        if (GetDriveTypeA(drive) != DRIVE_FIXED) {
            continue;
        }
        std::string root = drive;
        if (root.back() != '\\') {
            root += '\\';
        }
        roots.push_back(root);
    }
    return roots;
}

std::unique_ptr<DirectoryListing> Win32ShellJobs::OpenDirectory(const std::string& directory) {
    // A directory that is itself a reparse point is not walked into, not even as a root.
    DWORD attributes = GetFileAttributesA(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && directory.size() > 3)) {
        return nullptr;
    }
    WIN32_FIND_DATAA first;
    UniqueFileFind find(FindFirstFileA((directory + "*.*").c_str(), &first));
    if (!find) {
        return nullptr;
    }
    return std::make_unique<Win32DirectoryListing>(std::move(find), first);
}

}  // namespace ko
