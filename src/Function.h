#pragma once

#include "Messages.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

// The phone catalogue, the folder history files and the last-used folders file. Plain data in, plain data
// out: the window owns the combo boxes and hands their texts and item lists in. Texts are byte strings,
// compared byte for byte. File operations never throw; a missing or unwritable file is passed over.

// The text files, opened by bare name in the current folder.
inline constexpr const char* PhoneFileName = "phone.ini";
inline constexpr const char* SourceHistoryFile = "source.ini";
inline constexpr const char* ReceiverHistoryFile = "receiver.ini";
inline constexpr const char* LastFoldersFile = "quorvane.ini";
// The options beyond the tool's defined behaviour, beside the four files: written only once the user
// changes one, so a tool used as designed never creates it.
inline constexpr const char* OptionsFile = "options.ini";

// ---- Phone catalogue ----

struct PhoneCatalogue {
    // Maker name -> model names in file order, repeats included. Every maker named by a section has an
    // entry, possibly empty; models before the first section belong to the empty name.
    std::map<std::string, std::vector<std::string>> ModelsByMaker;
    // Model name -> width, height, width, height, ... of every line with that name, in file order.
    std::map<std::string, std::vector<std::string>> SizesByModel;
};

// Thrown by ParseModelLine for a model line without a space, or without a "/" after its first space.
struct CatalogueFormatError {};

// A line that starts with "[" and ends with "]".
bool IsSectionLine(const std::string& line);

// The line without its first "[" and then without its first "]": "[A]B]" gives "AB]".
std::string MakerFromSection(const std::string& line);

// Splits "name width/height" at the first space and the first "/" after it, appends the width and height
// texts (untrimmed) to the model's size list and returns the name. Throws CatalogueFormatError, storing
// nothing, for a malformed line.
std::string ParseModelLine(const std::string& line, PhoneCatalogue& catalogue);

// Appends the text as the last item of a drop-down list.
void AddComboItem(std::vector<std::string>& list, const std::string& text);

// Reads the catalogue file into the catalogue and appends one maker name per section line to makerList.
// Returns the message to show: PhoneFileCannotOpen when the file cannot be opened, PhoneFileMalformed at
// the first malformed model line (everything before it stays loaded), nothing when all went well.
std::optional<MessageId> LoadPhoneCatalogue(const std::string& fileName, PhoneCatalogue& catalogue,
                                            std::vector<std::string>& makerList);

// The maker's model names in catalogue order (empty for an unknown maker): the items of the model list.
std::vector<std::string> ModelsOf(const PhoneCatalogue& catalogue, const std::string& maker);

// Width and height texts of the first catalogue line bearing the model name; nothing for an unknown name.
std::optional<std::pair<std::string, std::string>> SizeOf(const PhoneCatalogue& catalogue, const std::string& model);

// ---- Folder history ----

// Appends the folder and a line end to the history file unless a line of the file equals boxText. A file
// that cannot be read gets the folder appended without that test. A file whose last line lacks its line
// end gets one first, so two folders never share a line. Reading stops at a Ctrl-Z, so the new line goes
// before the first one: a Ctrl-Z as the last byte is replaced by it; with bytes after the Ctrl-Z the file
// is rewritten atomically, all of them kept.
void AddToHistory(const std::string& folder, const std::string& fileName, const std::string& boxText);

// Removes every line equal to the folder from the history file, rewriting it atomically; the other lines
// and everything from the first Ctrl-Z on stay byte for byte. False when nothing was removed.
bool RemoveFromHistory(const std::string& folder, const std::string& fileName);

// The non-empty lines of the history file in file order, repeats included; nothing when the file cannot
// be opened (the box then keeps its list).
std::optional<std::vector<std::string>> LoadHistory(const std::string& fileName);

// ---- Last-used folders ----

// Writes source, CR LF, receiver (no final line end), creating or emptying the file.
void SaveLastFolders(const std::string& source, const std::string& receiver,
                     const std::string& fileName = LastFoldersFile);

// Source and receiver texts from lines 1 and 2 (a missing line reads as empty, later lines are ignored);
// nothing when the file cannot be opened.
std::optional<std::pair<std::string, std::string>> LoadLastFolders(const std::string& fileName = LastFoldersFile);

// ---- Options ----

// The options file holds one "name=value" line per option; other lines are kept as they are.

// The value of the option's first line; nothing when the file cannot be read or has no such line.
std::optional<std::string> LoadOption(const std::string& name, const std::string& fileName = OptionsFile);

// Sets the option: its first line takes the new value (later lines of that name go), or a line is added;
// every other non-empty line stays, in its place. The file is replaced atomically; false when it cannot be.
bool SaveOption(const std::string& name, const std::string& value, const std::string& fileName = OptionsFile);

} // namespace quorvane
