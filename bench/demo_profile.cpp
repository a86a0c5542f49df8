// Prints kosim's logon profile of a cafe data file, as kosim serves it, for the control
// benchmark (which cannot link kosim's code beside the agent's).
//   ko_demo_profile <data.json>
#include <fstream>
#include <iostream>
#include <sstream>

#include "DataFileReader.h"
#include "ProfileDocuments.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: ko_demo_profile <data.json>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> errors;
    std::optional<ko::CafeData> data = ko::DataFileReader::Read(text.str(), errors);
    const ko::Profile* profile = data ? data->FindProfile(data->logonProfile) : nullptr;
    if (profile == nullptr) {
        std::cerr << "no logon profile in " << argv[1] << "\n";
        return 1;
    }
    std::cout << ko::ProfileDocuments::LogonProfile(*profile, "BENCH", false);
    return 0;
}
