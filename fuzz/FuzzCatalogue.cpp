// Text-file bytes in: the lines the line rules give, and the phone catalogue the loader builds from them
// (its loop over the lines, without the file). The lines joined again must give back the text, and every
// model line taken must be exactly name, space, width, "/", height.

#include "Function.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace quorvane;

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

size_t StoredSizes(const PhoneCatalogue& catalogue)
{
    size_t count = 0;
    for (const auto& [name, sizes] : catalogue.SizesByModel) {
        count += sizes.size();
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    LineReader reader(text);
    std::vector<std::string> lines;
    while (!reader.AtEnd()) {
        lines.push_back(reader.ReadLine());
    }
    Check(reader.ReadLine().empty());

    // Up to the first Ctrl-Z, one line per LF plus the last one, and nothing lost but the CR of each CR LF.
    const std::string_view body = text.substr(0, text.find('\x1a'));
    std::string expected;
    for (size_t i = 0; i < body.size(); ++i) {
        if (!(body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n')) {
            expected += body[i];
        }
    }
    Check(lines.size() == static_cast<size_t>(std::count(body.begin(), body.end(), '\n')) + 1);
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        joined += (i == 0 ? "" : "\n") + lines[i];
    }
    Check(joined == expected);

    PhoneCatalogue catalogue;
    std::vector<std::string> makers;
    std::string maker;
    size_t stored = 0;
    for (const std::string& line : lines) {
        if (IsSectionLine(line)) {
            maker = MakerFromSection(line);
            Check(maker.size() + 2 == line.size());
            AddComboItem(makers, maker);
            catalogue.ModelsByMaker.try_emplace(maker);
            continue;
        }
        try {
            const std::string name = ParseModelLine(line, catalogue);
            stored += 2;
            const auto& sizes = catalogue.SizesByModel.at(name);
            const std::string& width = sizes[sizes.size() - 2];
            Check(name.find(' ') == std::string::npos && width.find('/') == std::string::npos);
            Check(name + " " + width + "/" + sizes.back() == line);
            catalogue.ModelsByMaker[maker].push_back(name);
        } catch (const CatalogueFormatError&) {
            const size_t space = line.find(' ');
            Check(space == std::string::npos || line.find('/', space + 1) == std::string::npos);
            Check(StoredSizes(catalogue) == stored); // a malformed line stores nothing
            break;                                   // and the loader stops there
        }
    }
    Check(StoredSizes(catalogue) == stored);
    for (const std::string& name : makers) {
        for (const std::string& model : ModelsOf(catalogue, name)) {
            const auto found = SizeOf(catalogue, model);
            Check(found && found->first == catalogue.SizesByModel.at(model)[0]);
        }
    }
    return 0;
}
