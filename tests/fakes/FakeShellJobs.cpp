#include "fakes/FakeShellJobs.h"

#include <algorithm>
#include <utility>

#include "platform/EventLoop.h"

namespace ko {

namespace {

class FakeListing : public DirectoryListing {
  public:
    explicit FakeListing(std::vector<Entry> entries) : m_entries(std::move(entries)) {}
    bool Next(Entry& entry) override {
        if (m_next >= m_entries.size()) {
            return false;
        }
        entry = m_entries[m_next++];
        return true;
    }

  private:
    std::vector<Entry> m_entries;
    std::size_t m_next = 0;
};

}  // namespace

void FakeShellJobs::DeleteUrlCache(Done done) {
    m_calls.push_back("DeleteUrlCache");
    Finish(std::move(done));
}

void FakeShellJobs::ClearUrlHistory(Done done) {
    m_calls.push_back("ClearUrlHistory");
    Finish(std::move(done));
}

void FakeShellJobs::Finish(Done done) {
    if (m_hold) {
        m_held.push_back(std::move(done));
        return;
    }
    m_loop.Post(std::move(done));
}

void FakeShellJobs::ReleaseJob() {
    if (!m_held.empty()) {
        Done done = std::move(m_held.front());
        m_held.erase(m_held.begin());
        m_loop.Post(std::move(done));
    }
}

bool FakeShellJobs::Run(const std::string& command) {
    m_calls.push_back("Run " + command);
    return std::find(m_runnable.begin(), m_runnable.end(), command) != m_runnable.end();
}

void FakeShellJobs::AddEntry(const std::string& directory, const std::string& name,
                             DirectoryListing::Kind kind) {
    m_directories[directory].push_back({name, kind});
}

std::unique_ptr<DirectoryListing> FakeShellJobs::OpenDirectory(const std::string& directory) {
    auto found = m_directories.find(directory);
    if (found == m_directories.end()) {
        return nullptr;
    }
    ++m_opened;
    return std::make_unique<FakeListing>(found->second);
}

}  // namespace ko
