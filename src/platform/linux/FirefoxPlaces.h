#pragma once

#include <string>

namespace ko {

// Clears the browsing history of one Firefox profile's places database: every visit, and every
// place no bookmark (or other record) refers to, in one transaction, so a failure leaves the
// database as it was. Bookmarked places stay, with their visit counts reset.
class FirefoxPlaces {
  public:
    // database is the path of places.sqlite; a link there is not followed. True when the history
    // is gone (or, in a dry run, when the database could be read).
    static bool ClearHistory(const std::string& database, bool dryRun);
};

}  // namespace ko
