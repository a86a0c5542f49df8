#include "platform/FileSearch.h"

#include <utility>

#include "platform/EventLoop.h"
#include "shared/AsciiCase.h"

namespace ko {

FileSearch::FileSearch(EventLoop& loop, ShellJobs& shell) : m_loop(loop), m_shell(shell) {}

FileSearch::~FileSearch() {
    ++*m_generation;
}

void FileSearch::Start(std::vector<std::string> roots, std::string name, Completion done) {
    Cancel();
    m_roots = std::move(roots);
    m_nextRoot = 0;
    m_name = std::move(name);
    m_done = std::move(done);
    m_turns = 0;
    ScheduleTurn();
}

void FileSearch::Cancel() {
    ++*m_generation;
    m_stack.clear();
    m_done = nullptr;
}

void FileSearch::ScheduleTurn() {
    std::weak_ptr<unsigned> generation = m_generation;
    unsigned expected = *m_generation;
    m_loop.Post([this, generation, expected] {
        auto current = generation.lock();
        if (current && *current == expected) {
            Turn();
        }
    });
}

void FileSearch::Turn() {
    ++m_turns;
    std::size_t budget = kEntriesPerTurn;
    while (budget > 0) {
        if (m_stack.empty()) {
            if (m_name.empty() || m_nextRoot >= m_roots.size()) {
                Finish({});
                return;
            }
            const std::string& root = m_roots[m_nextRoot++];
            // A drive that is not ready, or a root that is a link, is skipped.
            if (auto listing = m_shell.OpenDirectory(root)) {
                m_stack.push_back({root, std::move(listing)});
            }
            --budget;
            continue;
        }
        Level& level = m_stack.back();
        DirectoryListing::Entry entry;
        --budget;
        if (!level.listing->Next(entry)) {
            m_stack.pop_back();
            continue;
        }
        if (entry.kind == DirectoryListing::Kind::File) {
            if (EqualsIgnoringAsciiCase(entry.name, m_name)) {
                Finish(level.directory + entry.name);
                return;
            }
        } else if (entry.kind == DirectoryListing::Kind::Directory && !entry.name.empty() &&
                   entry.name[0] != '.') {
            // Every directory of the walk ends with its root's separator.
            std::string child = level.directory + entry.name + level.directory.back();
            if (auto listing = m_shell.OpenDirectory(child)) {
                m_stack.push_back({std::move(child), std::move(listing)});
            }
        }
    }
    ScheduleTurn();
}

void FileSearch::Finish(const std::string& path) {
    Completion done = std::move(m_done);
    m_done = nullptr;
    m_stack.clear();
    ++*m_generation;
    if (done) {
        done(path);
    }
}

}  // namespace ko
