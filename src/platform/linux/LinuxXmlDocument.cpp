#include "platform/linux/LinuxXmlDocument.h"

#include <poll.h>

#include <algorithm>
#include <utility>

#include "platform/linux/XmlParser.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

void InitCurlOnce() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

}  // namespace

LinuxXmlDocument::LinuxXmlDocument(LinuxEventLoop& loop, std::uint32_t timeoutMs,
                                   std::size_t maxBytes)
    : m_loop(loop),
      m_timeoutMs(timeoutMs),
      m_maxBytes(maxBytes),
      m_multi(nullptr, curl_multi_cleanup),
      m_easy(nullptr, curl_easy_cleanup) {
    InitCurlOnce();
    m_multi.reset(curl_multi_init());
    if (m_multi) {
        curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETFUNCTION, &LinuxXmlDocument::OnSocket);
        curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERFUNCTION, &LinuxXmlDocument::OnCurlTimer);
        curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERDATA, this);
    } else {
        Logger::Error("LinuxXmlDocument: curl_multi_init failed");
    }
    m_curlTimer = m_loop.AddTimer([this] {
        // curl's timer fires once; it asks again for what it needs next.
        m_loop.SetTimerInterval(m_curlTimer, 0);
        Drive(CURL_SOCKET_TIMEOUT, 0);
    });
}

LinuxXmlDocument::~LinuxXmlDocument() {
    StopTransfer();
    // Cleaning up may still call the socket callback; nothing may stay watched afterwards.
    m_multi.reset();
    for (const auto& [fd, watch] : m_watches) {
        m_loop.UnwatchFd(watch);
    }
    m_loop.RemoveTimer(m_curlTimer);
}

void LinuxXmlDocument::Load(const std::string& url, Completion onComplete) {
    Cancel();
    m_onComplete = std::move(onComplete);
    m_loading = true;
    if (!IsHttpAddress(url) || !StartTransfer(url)) {
        StopTransfer();
        PostCompletion({});
    }
}

void LinuxXmlDocument::Cancel() {
    ++m_generation;
    StopTransfer();
    m_loading = false;
    m_onComplete = nullptr;
}

bool LinuxXmlDocument::StartTransfer(const std::string& url) {
    if (!m_multi) {
        return false;
    }
    m_easy.reset(curl_easy_init());
    if (!m_easy) {
        return false;
    }
    m_body.clear();
    m_tooLarge = false;
    CURL* easy = m_easy.get();
    bool ok = curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK;
    // Redirects too stay on http(s).
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(m_timeoutMs));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_maxBytes));
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &LinuxXmlDocument::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    // Adding the transfer only arms curl's timer; the work starts from the loop.
    return ok && curl_multi_add_handle(m_multi.get(), easy) == CURLM_OK;
}

void LinuxXmlDocument::StopTransfer() {
    if (m_easy && m_multi) {
        curl_multi_remove_handle(m_multi.get(), m_easy.get());
    }
    m_easy.reset();
    m_body.clear();
    m_body.shrink_to_fit();
}

int LinuxXmlDocument::OnSocket(CURL*, curl_socket_t fd, int what, void* self, void*) {
    // No exception may cross back into curl; -1 tells it the watch failed.
    int result = -1;
    Guarded("LinuxXmlDocument socket", [&] {
        static_cast<LinuxXmlDocument*>(self)->WatchSocket(fd, what);
        result = 0;
    });
    return result;
}

void LinuxXmlDocument::WatchSocket(curl_socket_t fd, int what) {
    auto it = m_watches.find(fd);
    if (what == CURL_POLL_REMOVE) {
        if (it != m_watches.end()) {
            m_loop.UnwatchFd(it->second);
            m_watches.erase(it);
        }
        return;
    }
    short events = 0;
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) {
        events |= POLLIN;
    }
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) {
        events |= POLLOUT;
    }
    if (it != m_watches.end()) {
        m_loop.ModifyFd(it->second, events);
        return;
    }
    m_watches[fd] = m_loop.WatchFd(fd, events, [this, fd](short revents) {
        int flags = 0;
        if ((revents & (POLLIN | POLLHUP)) != 0) {
            flags |= CURL_CSELECT_IN;
        }
        if ((revents & POLLOUT) != 0) {
            flags |= CURL_CSELECT_OUT;
        }
        if ((revents & (POLLERR | POLLNVAL)) != 0) {
            flags |= CURL_CSELECT_ERR;
        }
        Drive(fd, flags);
    });
}

int LinuxXmlDocument::OnCurlTimer(CURLM*, long timeoutMs, void* self) {
    int result = -1;
    Guarded("LinuxXmlDocument timer", [&] {
        static_cast<LinuxXmlDocument*>(self)->SetCurlTimer(timeoutMs);
        result = 0;
    });
    return result;
}

void LinuxXmlDocument::SetCurlTimer(long timeoutMs) {
    if (timeoutMs < 0) {
        m_loop.SetTimerInterval(m_curlTimer, 0);
    } else if (timeoutMs == 0) {
        // "Now" is not a timer interval (0 stops a timer): act from the loop, never inside the
        // curl call that asked.
        m_loop.SetTimerInterval(m_curlTimer, 0);
        std::weak_ptr<int> life = m_life;
        m_loop.Post([this, life] {
            if (!life.expired()) {
                Drive(CURL_SOCKET_TIMEOUT, 0);
            }
        });
    } else {
        // Longer waits than a loop timer holds come back here and wait again.
        const long interval = std::min<long>(timeoutMs, EventLoop::kMaxTimerInterval);
        m_loop.SetTimerInterval(m_curlTimer, static_cast<std::uint32_t>(interval));
    }
}

std::size_t LinuxXmlDocument::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* doc = static_cast<LinuxXmlDocument*>(self);
    const std::size_t bytes = size * count;
    // A short count makes curl end the transfer with a write error.
    std::size_t taken = 0;
    Guarded("LinuxXmlDocument body", [&] {
        if (doc->m_body.size() + bytes > doc->m_maxBytes) {
            doc->m_tooLarge = true;
            return;
        }
        doc->m_body.append(data, bytes);
        taken = bytes;
    });
    return taken;
}

void LinuxXmlDocument::Drive(curl_socket_t fd, int flags) {
    if (!m_multi) {
        return;
    }
    int running = 0;
    curl_multi_socket_action(m_multi.get(), fd, flags, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy.get()) {
            Finish(message->data.result);
            return;
        }
    }
}

void LinuxXmlDocument::Finish(CURLcode result) {
    long status = 0;
    curl_easy_getinfo(m_easy.get(), CURLINFO_RESPONSE_CODE, &status);
    XmlNode document;
    if (result == CURLE_OK && !m_tooLarge && status >= 200 && status < 300) {
        document = ParseXmlDocument(m_body);
    } else {
        Logger::Debug("LinuxXmlDocument: load failed: " +
                      std::string(m_tooLarge ? "document too large" : curl_easy_strerror(result)) +
                      ", status " + std::to_string(status));
    }
    StopTransfer();
    PostCompletion(std::move(document));
}

void LinuxXmlDocument::PostCompletion(XmlNode document) {
    std::weak_ptr<int> life = m_life;
    const std::uint64_t generation = m_generation;
    m_loop.Post([this, life, generation, document = std::move(document)]() mutable {
        if (life.expired() || generation != m_generation || !m_loading) {
            return;
        }
        m_loading = false;
        Completion onComplete = std::move(m_onComplete);
        m_onComplete = nullptr;
        if (onComplete) {
            // The owner may load anew or destroy this object from inside.
            onComplete(std::move(document));
        }
    });
}

}  // namespace ko
