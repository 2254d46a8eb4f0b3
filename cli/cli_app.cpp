#include "cli_app.h"

#include <iostream>

namespace wren::cli {

int Usage(const std::string& name, const std::string& why) {
    std::cerr << name << ": " << why << "\nTry '" << name << " --help'.\n";
    return kExitUsage;
}

int Parse(CLI::App& app, const char* footer, int argc, char** argv) {
    app.footer(footer);
    app.set_version_flag("--version", app.get_name() + " " + WREN_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0)
            return app.exit(error);
        return Usage(app.get_name(), error.what());
    }
    return -1;
}

} // namespace wren::cli
