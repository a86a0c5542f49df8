#include "shared/Logger.h"

namespace ko {

namespace {

// The logger is one of the per-process objects: it lives here and nowhere else.
struct LoggerState {
    Logger::Sink sink;
    Logger::Level minimum = Logger::Level::Debug;
};

LoggerState& State() {
    static LoggerState state;
    return state;
}

}  // namespace

void Logger::SetSink(Sink sink) {
    State().sink = std::move(sink);
}

void Logger::SetMinimumLevel(Level level) {
    State().minimum = level;
}

void Logger::Debug(std::string_view text) {
    Write(Level::Debug, text);
}

void Logger::Info(std::string_view text) {
    Write(Level::Info, text);
}

void Logger::Warning(std::string_view text) {
    Write(Level::Warning, text);
}

void Logger::Error(std::string_view text) {
    Write(Level::Error, text);
}

std::string Logger::MaskSecret(std::string_view secret) {
    return secret.empty() ? std::string() : std::string("****");
}

void Logger::Write(Level level, std::string_view text) {
    LoggerState& state = State();
    if (!state.sink || level < state.minimum) {
        return;
    }
    try {
        state.sink(level, text);
    } catch (...) {
        // A broken sink must not take the program down with it.
    }
}

}  // namespace ko
