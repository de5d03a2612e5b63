#pragma once

#include "Function.h"
#include "conversion/Conversion.h"

#include <QWidget>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

class Dialogs;
class QComboBox;
class QDropEvent;
class TForm2;
class TForm3;

namespace Ui {
class TForm1;
}

// The main window. It is also how a conversion run reads its inputs and answers: every text is read from
// its control at the moment the run asks for it.
class TForm1 : public QWidget, public quorvane::RunControls {
    Q_OBJECT

  public:
    // Builds the window with its designed values, runs the start-up steps (which may show the catalogue
    // message before the window is shown) and creates the About and report windows, hidden.
    explicit TForm1(Dialogs& dialogs, QWidget* parent = nullptr);
    ~TForm1() override;

    TForm2& Form2() { return *form2_; }
    TForm3& Form3() { return *form3_; }
    bool Running() const { return running_; }
    // Puts a folder into the source box as typing it would (nothing is recorded before a run); for a file,
    // the folder that holds it.
    void PutSourceFolder(const QString& path);

    // RunControls
    std::string SourceText() override;
    std::string ReceiverText() override;
    std::string WidthText() override;
    std::string HeightText() override;
    std::string StartNumberText() override;
    std::string QualityText() override;
    std::string PreviewText() override;
    bool IncludeSubfolders() override;
    bool StartFromNumber() override;
    quorvane::FormatSet Formats() override;
    quorvane::CropPosition CropOf(const std::string& path) override;
    void RecordFolders() override;
    void SetProgress(int32_t percent) override;
    void ShowMessage(const quorvane::Message& message) override;
    void ShowReport(const quorvane::RunReport& report) override;
    void KeepAlive() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Runs a handler; an error escaping it ends the handler and shows the error box.
    template <typename Handler> void Handle(Handler&& handler);

    void FitTranslatedCaptions(const QRect& highQualityBox);
    void FormCreate();
    void Edit6Change();
    void Edit3Change();
    void UpdateNamePreview();
    void TrackBar1Change(int position);
    void Edit7Change();
    void CheckBox2Click(bool ticked);
    void cbAllFormatsClick(bool ticked);
    void cbCropChange(int index);
    void Button1Click();
    void Button2Click();
    void cbFirmChange();
    void cbModelChange();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button3Click();
    bool FormCloseQuery();
    void SessionEnding();

    void LoadPhoneCatalogue();
    void FillModelList(const std::string& maker);
    void ShowModelSize(const std::string& model);
    void LoadHistory(const char* fileName, QComboBox& box);
    void RemoveHistoryItem(const char* fileName, QComboBox& box);
    void ChooseFolder(QComboBox& box);
    void LoadLastFolders();
    void SaveLastFolders();
    void LoadFormatsOption();
    void FillCropBox();
    // A folder or file dragged over the window (`under` is the widget below the pointer): taken when it
    // comes, put into the receiver box when dropped on it and into the source box anywhere else.
    bool TakeDrop(QDropEvent& event, QWidget* under);
    void StartCommand();
    // The position the crop box stands at.
    quorvane::CropPosition BoxCrop() const;

    Dialogs& dialogs_;
    std::unique_ptr<Ui::TForm1> ui_;
    std::unique_ptr<quorvane::ConversionRun> run_;
    quorvane::PhoneCatalogue catalogue_;
    // The items of cbFirm and cbModel as the catalogue file holds them, byte for byte.
    std::vector<std::string> makers_;
    std::vector<std::string> models_;
    // The formats the options file names when cbAllFormats is ticked; all of them unless the file says
    // otherwise.
    quorvane::FormatSet chosenFormats_ = quorvane::FormatSet::All();
    // Crop positions moved by hand in the preview, by picture path; they win over the crop box.
    std::map<std::string, quorvane::CropPosition> adjustedCrops_;
    TForm2* form2_ = nullptr;
    TForm3* form3_ = nullptr;
    bool running_ = false;
    // Set by Esc or a close request during a run: the run stops after the picture being written.
    std::atomic<bool> stop_ = false;
    // A close request that came while a run was under way; carried out once the run is over, without
    // the report.
    bool closePending_ = false;
};
