#include "app/StartUp.h"

#include <fstream>

StartOptions ParseStartOptions(const std::vector<std::string>& args)
{
    StartOptions options;
    bool folderGiven = false;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            options.Help = true;
        } else if (arg == "--version") {
            options.Version = true;
        } else if (arg == "--user-folder") {
            options.UserFolder = true;
        } else if (arg.empty() || arg[0] != '-') {
            if (!folderGiven) {
                options.Folder = arg;
                folderGiven = true;
            } else if (options.Unexpected.empty()) {
                options.Unexpected = arg;
            }
        } else if (options.Unknown.empty()) {
            options.Unknown = arg;
        }
    }
    return options;
}

std::filesystem::path ExampleFolder(const std::filesystem::path& programFolder,
                                    const std::filesystem::path& sourceExamples)
{
    std::error_code ignored;
    for (const std::filesystem::path& folder : {programFolder / "../share/quorvane", programFolder}) {
        if (std::filesystem::exists(folder / "phone.ini", ignored)) {
            return folder;
        }
    }
    return sourceExamples;
}

std::string EnterUserFolder(const std::filesystem::path& folder, const std::filesystem::path& examples)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error) {
        std::filesystem::current_path(folder, error);
    }
    if (error) {
        return error.message();
    }
    std::error_code ignored;
    std::filesystem::copy_file(examples / "phone.ini", "phone.ini", std::filesystem::copy_options::skip_existing,
                               ignored);
    // The help is the program's, not the user's: it follows the installed version. It is copied by content:
    // copy_file cannot replace a file with MinGW's library, which takes any two files for the same one.
    std::ifstream help(examples / "ReadMe.txt", std::ios::binary);
    if (help) {
        std::ofstream("ReadMe.txt", std::ios::binary | std::ios::trunc) << help.rdbuf();
    }
    return {};
}
