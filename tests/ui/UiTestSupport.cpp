#include "UiTestSupport.h"

#include <QComboBox>
#include <QTest>

#include <filesystem>
#include <unistd.h>

using namespace quorvane;

void RecordingDialogs::ShowMessage(QWidget* owner, const QString& text)
{
    Events.push_back("message: " + text.toStdString());
    OwnerVisible.push_back(owner != nullptr && owner->isVisible());
}

void RecordingDialogs::ShowError(QWidget* owner, const QString& text)
{
    Events.push_back("error: " + text.toStdString());
    OwnerVisible.push_back(owner != nullptr && owner->isVisible());
}

std::optional<QString> RecordingDialogs::ChooseFolder(QWidget* /*owner*/, const QString& prompt)
{
    Events.push_back("folder: " + prompt.toStdString());
    if (FolderAnswers.empty()) {
        return std::nullopt;
    }
    const QString answer = FolderAnswers.front();
    FolderAnswers.pop_front();
    if (answer.isEmpty()) {
        return std::nullopt;
    }
    return answer;
}

std::optional<QString> RecordingDialogs::ChooseSaveFile(QWidget* /*owner*/, const QString& caption,
                                                        const QString& /*name*/)
{
    Events.push_back("save: " + caption.toStdString());
    return SaveFileAnswer.isEmpty() ? std::nullopt : std::optional(SaveFileAnswer);
}

void RecordingDialogs::OpenLink(const QUrl& url)
{
    Events.push_back("link: " + url.toString().toStdString());
}

void RecordingDialogs::ShowModal(QDialog& window)
{
    Events.push_back("modal: " + window.objectName().toStdString());
    if (OnModal) {
        OnModal(window);
    }
}

CurrentFolder::CurrentFolder(const std::string& folder) : previous_(std::filesystem::current_path().string())
{
    std::filesystem::current_path(folder);
}

CurrentFolder::~CurrentFolder()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

WindowFixture::WindowFixture() : current_(dir_.Str()) {}

WindowFixture::~WindowFixture() = default;

bool WindowFixture::Exists(const std::string& name) const
{
    return std::filesystem::exists(dir_ / name);
}

TForm1& WindowFixture::Open(bool show)
{
    form_ = std::make_unique<TForm1>(Dialogs);
    if (show) {
        form_->show();
        if (!QTest::qWaitForWindowExposed(form_.get())) {
            throw std::runtime_error("the main window was not exposed");
        }
    }
    return *form_;
}

void Choose(QComboBox& box, int index)
{
    box.setCurrentIndex(index);
    emit box.activated(index);
}

void TypeInto(QComboBox& box, const std::string& text)
{
    box.setEditText(QString::fromStdString(text));
}

void WriteJpeg(const std::string& path, int width, int height, uint32_t seed)
{
    WriteFileBytes(path, MakeJpeg(MakeTestRaster(width, height, seed)));
}
