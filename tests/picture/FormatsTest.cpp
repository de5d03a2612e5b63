#include "picture/Formats.h"

#include "picture/PictureSource.h"
#include "support/SystemKit.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string_view>

using namespace quorvane;

namespace {

// Only the six extensions count, compared byte for byte from the last dot; look-alikes name no picture.
TEST(Formats, ExtensionsCountExactlyAsWritten)
{
    struct Case {
        std::string_view Name;
        std::optional<PictureFormat> Format;
    };
    const Case cases[] = {
        {"a.jpg", PictureFormat::Jpeg}, {"a.jpeg", PictureFormat::Jpeg},
        {"a.JPG", PictureFormat::Jpeg}, {"a.JPEG", PictureFormat::Jpeg},
        {"a.bmp", PictureFormat::Bmp},  {"a.BMP", PictureFormat::Bmp},
        {".jpg", PictureFormat::Jpeg},  {"a.bmp.jpg", PictureFormat::Jpeg},
        {"a.Jpg", std::nullopt},        {"a.jPeG", std::nullopt},
        {"a.Bmp", std::nullopt},        {"a.jpe", std::nullopt},
        {"a.jfif", std::nullopt},       {"a.bmpx", std::nullopt},
        {"a.jpg ", std::nullopt},       {"a.jpg.txt", std::nullopt},
        {"jpg", std::nullopt},          {"bmp", std::nullopt},
        {"a.", std::nullopt},           {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatOfName(c.Name), c.Format) << '"' << c.Name << '"';
    }
}

// An empty file is said to be empty, whatever its extension claims.
TEST(Formats, AnEmptyFileIsEmptyInEveryFormat)
{
    for (PictureFormat format : {PictureFormat::Jpeg, PictureFormat::Bmp}) {
        MemoryReader empty(nullptr, 0);
        LoadError error;
        EXPECT_EQ(OpenPicture(format, empty, error), nullptr);
        EXPECT_EQ(MessageText(error.Text()), "файл пуст");
    }
}

// A file that cannot be opened says why, in the user's words.
TEST(Formats, AFileThatCannotBeOpenedSaysWhy)
{
    TempDir dir;
    std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.jpg", "файл не открывается: файла нет (или ссылка никуда не ведёт)"},
    };
    // Links, where the system lets a test make them.
    if (MakeFileLink(dir / "nowhere", dir / "dangling.jpg") == nullptr) {
        MakeFileLink(dir / "loop2.jpg", dir / "loop1.jpg");
        MakeFileLink(dir / "loop1.jpg", dir / "loop2.jpg");
        cases.push_back({"dangling.jpg", "файл не открывается: файла нет (или ссылка никуда не ведёт)"});
        cases.push_back({"loop1.jpg", "файл не открывается: петля символьных ссылок"});
    }
    for (const auto& [name, text] : cases) {
        LoadError error;
        EXPECT_EQ(OpenPictureFile(dir / name, error), nullptr) << name;
        EXPECT_EQ(MessageText(error.Text()), text) << name;
    }
}

} // namespace
