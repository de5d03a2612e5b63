#include "Function.h"

#include "platform/File.h"
#include "platform/TextFile.h"

#include <algorithm>

namespace quorvane {

bool IsSectionLine(const std::string& line)
{
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string MakerFromSection(const std::string& line)
{
    std::string maker = line;
    if (auto open = maker.find('['); open != std::string::npos) {
        maker.erase(open, 1);
    }
    if (auto close = maker.find(']'); close != std::string::npos) {
        maker.erase(close, 1);
    }
    return maker;
}

std::string ParseModelLine(const std::string& line, PhoneCatalogue& catalogue)
{
    const size_t space = line.find(' ');
    if (space == std::string::npos) {
        throw CatalogueFormatError{};
    }
    const size_t slash = line.find('/', space + 1);
    if (slash == std::string::npos) {
        throw CatalogueFormatError{};
    }
    std::string name = line.substr(0, space);
    auto& sizes = catalogue.SizesByModel[name];
    sizes.push_back(line.substr(space + 1, slash - space - 1));
    sizes.push_back(line.substr(slash + 1));
    return name;
}

void AddComboItem(std::vector<std::string>& list, const std::string& text)
{
    list.push_back(text);
}

std::optional<MessageId> LoadPhoneCatalogue(const std::string& fileName, PhoneCatalogue& catalogue,
                                            std::vector<std::string>& makerList)
{
    const auto content = ReadWholeFile(fileName);
    if (!content) {
        return MessageId::PhoneFileCannotOpen;
    }
    std::string maker;
    LineReader reader(*content);
    bool anyLine = false;
    while (!reader.AtEnd()) {
        const std::string line = reader.ReadLine();
        // The empty read after a final line break is no model line: every common editor saves one. An
        // empty file still counts as malformed.
        if (line.empty() && reader.AtEnd() && anyLine) {
            break;
        }
        anyLine = true;
        if (IsSectionLine(line)) {
            maker = MakerFromSection(line);
            AddComboItem(makerList, maker);
            catalogue.ModelsByMaker.try_emplace(maker);
            continue;
        }
        std::string model;
        try {
            model = ParseModelLine(line, catalogue);
        } catch (const CatalogueFormatError&) {
            return MessageId::PhoneFileMalformed;
        }
        // Only now: a bad line must not leave an entry for the current maker behind.
        catalogue.ModelsByMaker[maker].push_back(std::move(model));
    }
    return std::nullopt;
}

std::vector<std::string> ModelsOf(const PhoneCatalogue& catalogue, const std::string& maker)
{
    std::vector<std::string> models;
    if (auto it = catalogue.ModelsByMaker.find(maker); it != catalogue.ModelsByMaker.end()) {
        for (const auto& name : it->second) {
            AddComboItem(models, name);
        }
    }
    return models;
}

std::optional<std::pair<std::string, std::string>> SizeOf(const PhoneCatalogue& catalogue, const std::string& model)
{
    auto it = catalogue.SizesByModel.find(model);
    if (it == catalogue.SizesByModel.end() || it->second.size() < 2) {
        return std::nullopt;
    }
    return std::pair{it->second[0], it->second[1]};
}

namespace {

// Replaces the file with the bytes, atomically: it is either the old file or the whole new one.
bool RewriteFile(const std::string& fileName, std::string_view bytes)
{
    return static_cast<bool>(WriteFileAtomically(fileName, std::vector<uint8_t>(bytes.begin(), bytes.end())));
}

} // namespace

void AddToHistory(const std::string& folder, const std::string& fileName, const std::string& boxText)
{
    std::string entry = folder + std::string(LineEnd);
    WriteMode mode = WriteMode::Append;
    if (const auto content = ReadWholeFile(fileName)) {
        LineReader reader(*content);
        while (!reader.AtEnd()) {
            if (reader.ReadLine() == boxText) {
                return;
            }
        }
        // Reading stops at the first Ctrl-Z: the new line goes before it. A final one is simply replaced;
        // one with bytes after it stays, with all of them, and the file is rewritten as a whole.
        const size_t stop = content->find('\x1a');
        std::string_view kept = std::string_view(*content).substr(0, stop);
        // A hand-edited last line without its end would otherwise run into the new folder.
        if (!kept.empty() && kept.back() != '\n') {
            entry.insert(0, LineEnd);
        }
        if (stop != std::string::npos && stop + 1 < content->size()) {
            RewriteFile(fileName, std::string(kept) + entry + content->substr(stop));
            return;
        }
        if (stop != std::string::npos) {
            mode = WriteMode::AppendOverCtrlZ;
        }
    }
    WriteTextFile(fileName, entry, mode);
}

bool RemoveFromHistory(const std::string& folder, const std::string& fileName)
{
    const auto content = ReadWholeFile(fileName);
    if (!content) {
        return false;
    }
    // Lines as the file holds them, each with its own line end; what follows a Ctrl-Z is not read and
    // stays as it is.
    const size_t stop = std::min(content->find('\x1a'), content->size());
    std::string kept;
    bool removed = false;
    for (size_t pos = 0; pos < stop;) {
        const size_t lf = content->find('\n', pos);
        const size_t next = lf < stop ? lf + 1 : stop;
        LineReader reader(std::string_view(*content).substr(pos, next - pos));
        if (reader.ReadLine() == folder) {
            removed = true;
        } else {
            kept.append(*content, pos, next - pos);
        }
        pos = next;
    }
    if (!removed) {
        return false;
    }
    kept.append(*content, stop);
    return RewriteFile(fileName, kept);
}

std::optional<std::vector<std::string>> LoadHistory(const std::string& fileName)
{
    const auto content = ReadWholeFile(fileName);
    if (!content) {
        return std::nullopt;
    }
    std::vector<std::string> folders;
    LineReader reader(*content);
    while (!reader.AtEnd()) {
        std::string line = reader.ReadLine();
        if (!line.empty()) {
            folders.push_back(std::move(line));
        }
    }
    return folders;
}

void SaveLastFolders(const std::string& source, const std::string& receiver, const std::string& fileName)
{
    WriteTextFile(fileName, source + std::string(LineEnd) + receiver, WriteMode::Replace);
}

std::optional<std::pair<std::string, std::string>> LoadLastFolders(const std::string& fileName)
{
    const auto content = ReadWholeFile(fileName);
    if (!content) {
        return std::nullopt;
    }
    LineReader reader(*content);
    std::string source = reader.ReadLine();
    std::string receiver = reader.ReadLine();
    return std::pair{std::move(source), std::move(receiver)};
}

} // namespace quorvane

namespace quorvane {

std::optional<std::string> LoadOption(const std::string& name, const std::string& fileName)
{
    const auto content = ReadWholeFile(fileName);
    if (!content) {
        return std::nullopt;
    }
    const std::string key = name + "=";
    for (LineReader reader(*content); !reader.AtEnd();) {
        const std::string line = reader.ReadLine();
        if (line.rfind(key, 0) == 0) {
            return line.substr(key.size());
        }
    }
    return std::nullopt;
}

bool SaveOption(const std::string& name, const std::string& value, const std::string& fileName)
{
    const std::string key = name + "=";
    std::string bytes;
    bool placed = false;
    if (const auto content = ReadWholeFile(fileName)) {
        for (LineReader reader(*content); !reader.AtEnd();) {
            const std::string line = reader.ReadLine();
            if (line.rfind(key, 0) == 0) {
                if (placed) {
                    continue;
                }
                bytes += key + value + std::string(LineEnd);
                placed = true;
            } else if (!line.empty()) {
                bytes += line + std::string(LineEnd);
            }
        }
    }
    if (!placed) {
        bytes += key + value + std::string(LineEnd);
    }
    return RewriteFile(fileName, bytes);
}

} // namespace quorvane
