#include "platform/linux/FirefoxPlaces.h"

#include <sqlite3.h>

#include <memory>

#include "shared/Logger.h"

namespace ko {

namespace {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

// The statements that must all succeed, or nothing changes.
constexpr const char* kRequired[] = {
    "DELETE FROM moz_historyvisits",
    // foreign_count counts bookmarks, keywords and other records that keep a place.
    "DELETE FROM moz_places WHERE foreign_count = 0",
};

// Traces of visits kept in tables that not every database version has; a missing one is skipped.
constexpr const char* kOptional[] = {
    "UPDATE moz_places SET visit_count = 0, last_visit_date = NULL",
    "DELETE FROM moz_inputhistory",
    "DELETE FROM moz_annos WHERE place_id NOT IN (SELECT id FROM moz_places)",
    ("DELETE FROM moz_origins WHERE id NOT IN "
     "(SELECT origin_id FROM moz_places WHERE origin_id IS NOT NULL)"),
};

bool Execute(sqlite3* db, const char* sql, const std::string& database, bool logFailure) {
    char* error = nullptr;
    int result = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    if (result != SQLITE_OK && logFailure) {
        Logger::Debug(std::string("places history of ") + database + ": " + sql + ": " +
                      (error != nullptr ? error : sqlite3_errstr(result)));
    }
    sqlite3_free(error);
    return result == SQLITE_OK;
}

}  // namespace

bool FirefoxPlaces::ClearHistory(const std::string& database, bool dryRun) {
    const int flags =
        (dryRun ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOFOLLOW;
    sqlite3* raw = nullptr;
    int opened = sqlite3_open_v2(database.c_str(), &raw, flags, nullptr);
    Database db(raw);
    if (opened != SQLITE_OK) {
        Logger::Debug("cannot open " + database + ": " + sqlite3_errstr(opened));
        return false;
    }
    // A browser that took the database after the in-use check holds its lock: give up quickly
    // rather than hold the watcher.
    sqlite3_busy_timeout(db.get(), 200);
    if (dryRun) {
        bool readable = Execute(db.get(), "SELECT count(*) FROM moz_historyvisits", database, true);
        if (readable) {
            Logger::Info("dry run: would clear the visits and unbookmarked places of " + database);
        }
        return readable;
    }
    if (!Execute(db.get(), "BEGIN IMMEDIATE", database, true)) {
        return false;
    }
    for (const char* sql : kRequired) {
        if (!Execute(db.get(), sql, database, true)) {
            Execute(db.get(), "ROLLBACK", database, true);
            return false;
        }
    }
    for (const char* sql : kOptional) {
        // A failed statement is undone on its own; the transaction goes on.
        Execute(db.get(), sql, database, false);
    }
    if (!Execute(db.get(), "COMMIT", database, true)) {
        Execute(db.get(), "ROLLBACK", database, true);
        return false;
    }
    return true;
}

}  // namespace ko
