#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The desktop tool's own command-line options. Qt's options (-platform, -style, ...) are taken out by
// QApplication before these are read.
struct StartOptions {
    bool Help = false;
    bool Version = false;
    bool UserFolder = false;
    std::string Folder;     // the first argument that is not an option: the folder to convert
    std::string Unknown;    // the first option that is none of the above
    std::string Unexpected; // the first argument after the folder that is not an option
};

StartOptions ParseStartOptions(const std::vector<std::string>& args);

// The folder of the example catalogue and ReadMe.txt: ../share/quorvane beside the program when it is
// installed there, the program's own folder when they lie beside it (installed or unzipped on Windows),
// else the given folder of the sources (a program started from its build tree).
std::filesystem::path ExampleFolder(const std::filesystem::path& programFolder,
                                    const std::filesystem::path& sourceExamples);

// Creates the folder when it is missing, copies the example catalogue into it when it has no phone.ini
// (a missing example is passed over: the window then says the catalogue is missing) and ReadMe.txt,
// refreshed at every start, and makes it the current folder. On failure returns the reason and leaves
// the current folder as it was.
std::string EnterUserFolder(const std::filesystem::path& folder, const std::filesystem::path& examples);
