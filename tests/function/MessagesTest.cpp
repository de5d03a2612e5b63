#include "Messages.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace quorvane;

namespace {

// The placeholders a text uses ("%1", "%3").
std::set<std::string> Placeholders(const std::string& text)
{
    std::set<std::string> found;
    for (size_t at = text.find('%'); at != std::string::npos && at + 1 < text.size(); at = text.find('%', at + 1)) {
        if (text[at + 1] >= '1' && text[at + 1] <= '9') {
            found.insert(text.substr(at, 2));
        }
    }
    return found;
}

} // namespace

// A text added in Russian without its English, or an English one that lost an argument, shows here; the
// command line prints these texts without the window's translations.
TEST(Messages, EveryTextHasAnEnglishFormWithTheSameArguments)
{
    for (int i = static_cast<int>(MessageId::Joined) + 1; i < MessageIdCount; ++i) {
        const auto id = static_cast<MessageId>(i);
        const std::string russian = MessageFormat(id, Language::Russian);
        const std::string english = MessageFormat(id, Language::English);
        EXPECT_FALSE(russian.empty()) << i;
        EXPECT_NE(english, russian) << i;
        EXPECT_EQ(Placeholders(english), Placeholders(russian)) << i;
    }
}

TEST(Messages, ArgumentsGoInPlaceInOnePassAndNest)
{
    const Message reason{MessageId::FaultWriteCode, "%2"};
    const Message line = Message::Join(Message::Plain("img0001.jpg"), {MessageId::NotWritten, {reason}});
    EXPECT_EQ(MessageText(line), "img0001.jpg: не записан: ошибка записи (код %2)");
    EXPECT_EQ(MessageText(line, Language::English), "img0001.jpg: not written: write error (code %2)");
    // A format without enough arguments keeps its placeholder.
    EXPECT_EQ(MessageText(MessageId::CheckFolder), "Проверьте директорию: %1");
}

TEST(Messages, RussianForItsReadersAndTheMachineDefault)
{
    const struct {
        std::vector<std::string> preferred;
        Language language;
    } cases[] = {
        {{}, Language::Russian},
        {{"C"}, Language::Russian},
        {{"C.UTF-8"}, Language::Russian},
        {{"POSIX"}, Language::Russian},
        {{"ru_RU.UTF-8"}, Language::Russian},
        {{"uk-UA", "en-US"}, Language::Russian},
        {{"be"}, Language::Russian},
        {{"kk_KZ"}, Language::Russian},
        {{"en_US.UTF-8"}, Language::English},
        {{"de-DE", "ru-RU"}, Language::Russian},
        {{"de-DE", "en-GB"}, Language::English},
        {{"fr-FR"}, Language::English},
        {{"sr@latin"}, Language::English},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LanguageFor(c.preferred), c.language) << (c.preferred.empty() ? "none" : c.preferred[0]);
    }
}
