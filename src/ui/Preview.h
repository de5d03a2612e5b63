#pragma once

#include "conversion/Crop.h"
#include "picture/FormatSet.h"

#include <QDialog>

#include <map>
#include <memory>
#include <string>

class Dialogs;
class QLabel;
class QPushButton;

// What the preview shows: the source as the main window's boxes give it, the target size and the crop
// box's mode.
struct PreviewRequest {
    std::string SourceText;
    bool IncludeSubfolders = true;
    quorvane::FormatSet Formats = quorvane::FormatSet::Defined();
    std::string WidthText;
    std::string HeightText;
    quorvane::CropPosition Mode;
};

class PreviewList;
class PreviewModel;

// Every picture of the source as a thumbnail with the part a run keeps drawn on it and the rest dimmed.
// The pictures are listed and their thumbnails made from reduced decodes on every core while the window
// is open; closing it stops that work. A picture's window can be dragged along its free side or nudged
// with the arrow keys; a double click gives it back to the mode's choice. The positions moved by hand are
// what Start uses, and the whole list can be saved as a crop file for the command line.
class PreviewWindow : public QDialog {
    Q_OBJECT

  public:
    // `adjusted`: the positions moved by hand before, by picture path; they are shown as moved.
    PreviewWindow(Dialogs& dialogs, const PreviewRequest& request,
                  const std::map<std::string, quorvane::CropPosition>& adjusted, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    // The positions moved by hand, by the path a run gives the picture.
    std::map<std::string, quorvane::CropPosition> Adjusted() const;
    // Whether every picture has been listed and has its thumbnail (or its reason for none).
    bool Finished() const;

  protected:
    void done(int result) override;

  private:
    struct Work;

    void Listed(int row);
    void ThumbnailMade();
    void ListingEnded(const QString& refusal);
    void UpdateStatus();
    void SaveList();
    void StopWork();

    Dialogs& dialogs_;
    PreviewRequest request_;
    std::map<std::string, quorvane::CropPosition> adjusted_; // as the window was opened with
    PreviewModel* model_ = nullptr;
    PreviewList* list_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* save_ = nullptr;
    std::shared_ptr<Work> work_;
    int made_ = 0;
    bool listed_ = false;
    QString refusal_;
};
