#include "Function.h"

#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace quorvane;

namespace {

using Lists = std::map<std::string, std::vector<std::string>>;
using Strings = std::vector<std::string>;

const std::string Open = MessageText(MessageId::PhoneFileCannotOpen);
const std::string Format = MessageText(MessageId::PhoneFileMalformed);

struct Loaded {
    std::optional<std::string> message;
    PhoneCatalogue catalogue;
    Strings makers;
};

Loaded LoadCatalogueBytes(const std::string& bytes)
{
    TempDir dir;
    WriteFileBytes(dir / "phone.ini", bytes);
    Loaded loaded;
    if (const auto id = LoadPhoneCatalogue(dir / "phone.ini", loaded.catalogue, loaded.makers)) {
        loaded.message = MessageText(*id);
    }
    return loaded;
}

struct CatalogueCase {
    const char* what;
    std::string bytes;
    std::optional<std::string> message;
    Strings makers;
    Lists models;
    Lists sizes;
};

TEST(PhoneCatalogueTest, LoadsLinesUpToTheFirstFault)
{
    const std::string five = "[MakerA]\nModel1 128/160\nModel2 176/220\n[MakerB]\nModel3 240/320";
    const Lists fiveModels{{"MakerA", {"Model1", "Model2"}}, {"MakerB", {"Model3"}}};
    const Lists fiveSizes{{"Model1", {"128", "160"}}, {"Model2", {"176", "220"}}, {"Model3", {"240", "320"}}};
    const std::vector<CatalogueCase> cases{
        {"no final break", five, {}, {"MakerA", "MakerB"}, fiveModels, fiveSizes},
        {"final break is no model line", five + "\n", {}, {"MakerA", "MakerB"}, fiveModels, fiveSizes},
        {"final CR LF is no model line", five + "\r\n", {}, {"MakerA", "MakerB"}, fiveModels, fiveSizes},
        {"two final breaks leave an empty line", five + "\n\n", Format, {"MakerA", "MakerB"}, fiveModels, fiveSizes},
        {"only a line break", "\n", Format, {}, {}, {}},
        {"CR LF as LF",
         "[MakerA]\r\nModel1 128/160\r\nModel2 176/220\r\n[MakerB]\r\nModel3 240/320",
         {},
         {"MakerA", "MakerB"},
         fiveModels,
         fiveSizes},
        {"Ctrl-Z ends the text", five + "\x1a\n\nrubbish", {}, {"MakerA", "MakerB"}, fiveModels, fiveSizes},
        {"empty file", "", Format, {}, {}, {}},
        {"only Ctrl-Z", "\x1a[A]", Format, {}, {}, {}},
        {"empty line in the middle", "[A]\nM1 1/2\n\nM2 3/4", Format, {"A"}, {{"A", {"M1"}}}, {{"M1", {"1", "2"}}}},
        {"x instead of slash", "[A]\nModel1 128x160\nM2 3/4", Format, {"A"}, {{"A", {}}}, {}},
        {"slash before the space", "[A]\nM/1 2", Format, {"A"}, {{"A", {}}}, {}},
        {"tab instead of space", "[A]\nModel1\t128/160", Format, {"A"}, {{"A", {}}}, {}},
        {"blank after section", "[A] \nM1 1/2", Format, {}, {}, {}},
        {"lone CR after section", "[A]\r", Format, {}, {}, {}},
        {"lone CR stays in the name", "[A]\rM1 1/2", {}, {}, {{"", {"[A]\rM1"}}}, {{"[A]\rM1", {"1", "2"}}}},
        {"same section twice",
         "[A]\nM1 1/2\n[B]\nM2 3/4\n[A]\nM3 5/6",
         {},
         {"A", "B", "A"},
         {{"A", {"M1", "M3"}}, {"B", {"M2"}}},
         {{"M1", {"1", "2"}}, {"M2", {"3", "4"}}, {"M3", {"5", "6"}}}},
        {"section without models", "[A]\n[B]\nM 1/2", {}, {"A", "B"}, {{"A", {}}, {"B", {"M"}}}, {{"M", {"1", "2"}}}},
        {"models before the first section",
         "M0 1/2\n[B]\nM1 3/4",
         {},
         {"B"},
         {{"", {"M0"}}, {"B", {"M1"}}},
         {{"M0", {"1", "2"}}, {"M1", {"3", "4"}}}},
        {"empty section joins them",
         "M0 1/2\n[]\nM1 3/4",
         {},
         {""},
         {{"", {"M0", "M1"}}},
         {{"M0", {"1", "2"}}, {"M1", {"3", "4"}}}},
        {"leading space gives empty name", " 128/160", {}, {}, {{"", {""}}}, {{"", {"128", "160"}}}},
        {"blanks kept", "Model1  128 / 160", {}, {}, {{"", {"Model1"}}}, {{"Model1", {" 128 ", " 160"}}}},
        {"later slashes in height", "Model1 128/160/5", {}, {}, {{"", {"Model1"}}}, {{"Model1", {"128", "160/5"}}}},
        {"odd brackets", "[A]B]\n[ x ]", {}, {"AB]", " x "}, {{"AB]", {}}, {" x ", {}}}, {}},
        {"duplicates kept",
         "[A]\nM 1/2\n[B]\nM 3/4\nM 5/6",
         {},
         {"A", "B"},
         {{"A", {"M"}}, {"B", {"M", "M"}}},
         {{"M", {"1", "2", "3", "4", "5", "6"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Loaded loaded = LoadCatalogueBytes(c.bytes);
        EXPECT_EQ(loaded.message, c.message);
        EXPECT_EQ(loaded.makers, c.makers);
        EXPECT_EQ(loaded.catalogue.ModelsByMaker, c.models);
        EXPECT_EQ(loaded.catalogue.SizesByModel, c.sizes);
    }
}

TEST(PhoneCatalogueTest, MissingFileLeavesEverythingEmpty)
{
    TempDir dir;
    Loaded loaded;
    if (const auto id = LoadPhoneCatalogue(dir / "phone.ini", loaded.catalogue, loaded.makers)) {
        loaded.message = MessageText(*id);
    }
    EXPECT_EQ(loaded.message, Open);
    EXPECT_TRUE(loaded.makers.empty());
    EXPECT_TRUE(loaded.catalogue.ModelsByMaker.empty());
    EXPECT_TRUE(loaded.catalogue.SizesByModel.empty());
}

TEST(ModelSelectionTest, ModelListsAndSizes)
{
    const Loaded loaded = LoadCatalogueBytes("[A]\nM 1/2\nE /\n[Empty]\n[B]\nM 3/4\nM 5/6\nN  7 / 8");
    const auto& catalogue = loaded.catalogue;
    EXPECT_EQ(ModelsOf(catalogue, "A"), (Strings{"M", "E"}));
    EXPECT_EQ(ModelsOf(catalogue, "B"), (Strings{"M", "M", "N"}));
    EXPECT_TRUE(ModelsOf(catalogue, "Empty").empty());
    EXPECT_TRUE(ModelsOf(catalogue, "a").empty());

    using Size = std::optional<std::pair<std::string, std::string>>;
    EXPECT_EQ(SizeOf(catalogue, "M"), (Size{{"1", "2"}})); // first line with the name wins, from either maker
    EXPECT_EQ(SizeOf(catalogue, "E"), (Size{{"", ""}}));
    EXPECT_EQ(SizeOf(catalogue, "N"), (Size{{" 7 ", " 8"}}));
    EXPECT_EQ(SizeOf(catalogue, "m"), Size{});
}

TEST(FolderHistoryTest, RecordsOnlyNewFolders)
{
    struct Case {
        const char* what;
        std::optional<std::string> before;
        std::string folder;
        std::string after;
    };
    const std::vector<Case> cases{
        {"missing file is created", {}, "/p/a", "/p/a\r\n"},
        {"exact duplicate", "/p/a\r\n/p/b\r\n", "/p/b", "/p/a\r\n/p/b\r\n"},
        {"duplicate in LF file", "/p/a\n/p/b\n", "/p/a", "/p/a\n/p/b\n"},
        {"case differs", "/p/a\r\n", "/P/a", "/p/a\r\n/P/a\r\n"},
        {"trailing separator differs", "/p/a\r\n", "/p/a/", "/p/a\r\n/p/a/\r\n"},
        {"CR kept in comparison", "/p/a\r\r\n", "/p/a", "/p/a\r\r\n/p/a\r\n"},
        {"empty file", "", "/p/a", "/p/a\r\n"},
        {"unended last line matches", "/p/a\r\n/p/b", "/p/b", "/p/a\r\n/p/b"},
        {"unended last line is ended first", "/p/a\r\n/p/b", "/p/c", "/p/a\r\n/p/b\r\n/p/c\r\n"},
        {"final Ctrl-Z gives way", "/p/a\r\n\x1a", "/p/b", "/p/a\r\n/p/b\r\n"},
        {"final Ctrl-Z after an unended line", "/p/a\x1a", "/p/b", "/p/a\r\n/p/b\r\n"},
        {"before a Ctrl-Z with bytes after it", "/p/a\r\n\x1a/p/x\r\n\x1a", "/p/b", "/p/a\r\n/p/b\r\n\x1a/p/x\r\n\x1a"},
        {"line after a Ctrl-Z is no duplicate", "/p/a\x1a\r\n/p/b", "/p/b", "/p/a\r\n/p/b\r\n\x1a\r\n/p/b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string file = dir / "source.ini";
        if (c.before) {
            WriteFileBytes(file, *c.before);
        }
        AddToHistory(c.folder, file, c.folder);
        EXPECT_EQ(ReadFileBytes(file), c.after);
    }
}

TEST(FolderHistoryTest, RemovesEveryLineOfTheFolderAndKeepsTheRestByteForByte)
{
    struct Case {
        const char* what;
        std::string before;
        bool removed;
        std::string after;
    };
    const std::vector<Case> cases{
        {"middle line", "/p/a\r\n/p/typo\r\n/p/b\r\n", true, "/p/a\r\n/p/b\r\n"},
        {"every repeat, LF and unended lines kept", "/p/typo\n/p/a\n/p/typo\r\n/p/b", true, "/p/a\n/p/b"},
        {"unended last line", "/p/a\r\n/p/typo", true, "/p/a\r\n"},
        {"nothing after a Ctrl-Z is touched", "/p/typo\r\n\x1a/p/typo\r\n", true, "\x1a/p/typo\r\n"},
        {"absent folder", "/p/a\r\n", false, "/p/a\r\n"},
        {"a longer line is another folder", "/p/typo2\r\n", false, "/p/typo2\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string file = dir / "source.ini";
        WriteFileBytes(file, c.before);
        EXPECT_EQ(RemoveFromHistory("/p/typo", file), c.removed);
        EXPECT_EQ(ReadFileBytes(file), c.after);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1); // no temporary left
    }
}

TEST(FolderHistoryTest, LoadsNonEmptyLinesInOrder)
{
    TempDir dir;
    const std::string file = dir / "receiver.ini";
    EXPECT_EQ(LoadHistory(file), std::nullopt);

    WriteFileBytes(file, "");
    EXPECT_EQ(LoadHistory(file), Strings{});
    WriteFileBytes(file, "\r\n/b\r\n\r\n\n/a\r\n/b\r\n");
    EXPECT_EQ(LoadHistory(file), (Strings{"/b", "/a", "/b"}));
    WriteFileBytes(file, "/b\n/a\n/b\n");
    EXPECT_EQ(LoadHistory(file), (Strings{"/b", "/a", "/b"}));
    WriteFileBytes(file, "/b\r\n/a");
    EXPECT_EQ(LoadHistory(file), (Strings{"/b", "/a"}));
}

TEST(FolderHistoryTest, UnwritableFileIsSilent)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "taken");
    EXPECT_NO_THROW(AddToHistory("/p/a", dir / "taken", "/p/a"));
    EXPECT_NO_THROW(AddToHistory("/p/a", dir / "none/source.ini", "/p/a"));
    EXPECT_FALSE(std::filesystem::exists(dir / "none"));
    EXPECT_EQ(LoadHistory(dir / "none/source.ini"), std::nullopt);
}

TEST(LastFoldersTest, SavesTwoLinesAndReadsThemBack)
{
    struct Case {
        std::string source, receiver, bytes;
    };
    const std::vector<Case> cases{
        {"", "", "\r\n"}, {"", "/r", "\r\n/r"}, {"/s", "", "/s\r\n"}, {"/s x", "/r", "/s x\r\n/r"}};
    TempDir dir;
    const std::string file = dir / "quorvane.ini";
    WriteFileBytes(file, "a much longer earlier content\r\nthat must go\r\n");
    for (const auto& c : cases) {
        SaveLastFolders(c.source, c.receiver, file);
        EXPECT_EQ(ReadFileBytes(file), c.bytes);
        EXPECT_EQ(LoadLastFolders(file), std::pair(c.source, c.receiver));
    }
}

TEST(LastFoldersTest, ReadsHandEditedFiles)
{
    using Folders = std::optional<std::pair<std::string, std::string>>;
    TempDir dir;
    const std::string file = dir / "quorvane.ini";
    EXPECT_EQ(LoadLastFolders(file), Folders{});
    const std::vector<std::pair<std::string, Folders>> cases{
        {"/s\n/r", Folders{{"/s", "/r"}}},
        {"/s", Folders{{"/s", ""}}},
        {"", Folders{{"", ""}}},
        {"/s\r\n/r\r\n/third\r\n", Folders{{"/s", "/r"}}},
        {"/s\r\r\n/r\n", Folders{{"/s\r", "/r"}}},
    };
    for (const auto& [bytes, expected] : cases) {
        WriteFileBytes(file, bytes);
        EXPECT_EQ(LoadLastFolders(file), expected) << bytes;
    }
}

TEST(LastFoldersTest, UnwritableFileIsSilent)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "taken");
    EXPECT_NO_THROW(SaveLastFolders("/s", "/r", dir / "taken"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
    EXPECT_NO_THROW(SaveLastFolders("/s", "/r", dir / "none/quorvane.ini"));
    EXPECT_FALSE(std::filesystem::exists(dir / "none"));
}

} // namespace

// The catalogue example in ReadMe.txt (its indented lines) is one the loader takes as it stands.
TEST(ExampleCatalogue, ReadMeExampleLoadsWithoutAMessage)
{
    const std::string readMe = ReadFileBytes(QUORVANE_SOURCE_DIR "/examples/ReadMe.txt");
    std::string example;
    for (size_t pos = 0; pos < readMe.size();) {
        const size_t end = std::min(readMe.find('\n', pos), readMe.size());
        if (readMe.compare(pos, 4, "    ") == 0) {
            example += readMe.substr(pos + 4, end - pos - 4) + "\n";
        } else if (!example.empty()) {
            break; // the first example only; the English part repeats it
        }
        pos = end + 1;
    }
    const Loaded loaded = LoadCatalogueBytes(example);
    EXPECT_EQ(loaded.message, std::nullopt) << example;
    EXPECT_EQ(loaded.makers, (Strings{"Google", "Samsung"}));
}

TEST(ExampleCatalogue, LoadsWithoutAMessage)
{
    PhoneCatalogue catalogue;
    std::vector<std::string> makers;
    EXPECT_EQ(LoadPhoneCatalogue(QUORVANE_SOURCE_DIR "/examples/phone.ini", catalogue, makers), std::nullopt);
    EXPECT_GE(makers.size(), 5u);
    for (const auto& maker : makers) {
        for (const auto& model : ModelsOf(catalogue, maker)) {
            const auto size = SizeOf(catalogue, model);
            ASSERT_TRUE(size);
            EXPECT_GT(std::stoi(size->first), 0) << model;
            EXPECT_GT(std::stoi(size->second), 0) << model;
        }
    }
}
