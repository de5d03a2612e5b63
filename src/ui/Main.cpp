#include "ui/Main.h"

#include "conversion/Conversion.h"
#include "conversion/Naming.h"
#include "platform/System.h"
#include "ui/About.h"
#include "ui/Appearance.h"
#include "ui/Dialogs.h"
#include "ui/Finish.h"
#include "ui/Language.h"
#include "ui/Preview.h"
#include "ui/WindowHelpers.h"
#include "ui_Main.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <exception>
#include <optional>

using namespace quorvane;

namespace {

// Engine texts are UTF-8 on every system; the conversion happens only here, at the window's edge.
std::string Utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text);
}

// The folder a dropped or named path stands for: a folder itself, or the one that holds a file; in the
// system's own way of writing it.
QString FolderOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return path;
    }
    return QDir::toNativeSeparators(QDir::cleanPath(info.isDir() ? path : info.absolutePath()));
}

// The folder of the first local file or folder a drag carries; nothing for other data.
std::optional<QString> DraggedFolder(const QMimeData* data)
{
    for (const QUrl& url : data != nullptr ? data->urls() : QList<QUrl>()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            return FolderOf(url.toLocalFile());
        }
    }
    return std::nullopt;
}

// Giving a box the text it already holds must run no change handler; only a real change does.
void SetText(QLineEdit& edit, const QString& text)
{
    if (edit.text() != text) {
        edit.setText(text);
    }
}

// Lets the window paint, answer the window manager and hear Esc or a close request while a run keeps the
// GUI thread busy. The run's event filter holds off every other input to the window.
void ProcessPendingEvents()
{
    QCoreApplication::processEvents();
}

// The events a person gives a window with the mouse, the keyboard or a touch screen.
bool IsInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// The open list is as wide as its longest entry, however narrow the closed box.
void FitListWidth(QComboBox& box)
{
    QAbstractItemView& view = *box.view();
    int widest = 0;
    for (int i = 0; i < box.count(); ++i) {
        widest = std::max(widest, view.sizeHintForIndex(box.model()->index(i, box.modelColumn())).width());
    }
    const int scrollBar = view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view);
    view.setMinimumWidth(widest + 2 * view.frameWidth() + scrollBar);
}

// For the length of a run: the window is marked busy, shows the wait cursor and lets the filter see
// every event of the application; all of it, and the progress on the taskbar button, ends however the run
// ends.
class RunScope {
  public:
    RunScope(bool& running, QWidget& window) : running_(running), window_(window)
    {
        running_ = true;
        QCoreApplication::instance()->installEventFilter(&window_);
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~RunScope()
    {
        ShowTaskbarProgress(window_.effectiveWinId(), -1);
        QGuiApplication::restoreOverrideCursor();
        QCoreApplication::instance()->removeEventFilter(&window_);
        running_ = false;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

  private:
    bool& running_;
    QWidget& window_;
};

// A box or window shown during a run has the ordinary cursor while it is open.
class OrdinaryCursor {
  public:
    explicit OrdinaryCursor(bool running) : waiting_(running && QGuiApplication::overrideCursor() != nullptr)
    {
        if (waiting_) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
    ~OrdinaryCursor()
    {
        if (waiting_) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        }
    }
    OrdinaryCursor(const OrdinaryCursor&) = delete;
    OrdinaryCursor& operator=(const OrdinaryCursor&) = delete;

  private:
    bool waiting_;
};

} // namespace

TForm1::TForm1(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), ui_(std::make_unique<Ui::TForm1>()),
      run_(std::make_unique<ConversionRun>(RunOptions{.Stop = &stop_}))
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    setAttribute(Qt::WA_QuitOnClose);
    const QRect highQuality = ui_->Label8->geometry();
    SizeLabelsToText(*this);
    SizeButtonsToText(*this);
    FitTranslatedCaptions(highQuality);
    ui_->UpDown1->SetBuddy(ui_->Edit3);
    // Typed folders stay exactly as typed: no completion from the history list.
    ui_->cbSource->setCompleter(nullptr);
    ui_->cbReceiver->setCompleter(nullptr);
    // The text part of a folder box is read out under the box's name.
    for (QComboBox* box : {ui_->cbSource, ui_->cbReceiver}) {
        box->lineEdit()->setAccessibleName(box->accessibleName());
    }
    // A folder dragged over any part of the window is taken there; the text boxes pass such drags on.
    setAcceptDrops(true);
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        edit->installEventFilter(this);
    }
    // Delete in an open folder list removes the highlighted folder from the list and its history file.
    ui_->cbSource->view()->installEventFilter(this);
    ui_->cbReceiver->view()->installEventFilter(this);
    // The phone boxes are narrower than many model names: the full name shows as a tooltip.
    for (QComboBox* box : {ui_->cbFirm, ui_->cbModel}) {
        connect(box, &QComboBox::currentTextChanged, box, &QWidget::setToolTip);
    }

    // Handlers are connected only now, so the designed values above ran none of them.
    connect(ui_->Edit6, &QLineEdit::textChanged, this, &TForm1::Edit6Change);
    connect(ui_->Edit3, &QLineEdit::textChanged, this, &TForm1::Edit3Change);
    connect(ui_->TrackBar1, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
    connect(ui_->Edit7, &QLineEdit::textChanged, this, &TForm1::Edit7Change);
    connect(ui_->CheckBox2, &QCheckBox::toggled, this, &TForm1::CheckBox2Click);
    // Only the user's own click writes the options file.
    connect(ui_->cbAllFormats, &QCheckBox::clicked, this, &TForm1::cbAllFormatsClick);
    connect(ui_->cbCrop, &QComboBox::activated, this, &TForm1::cbCropChange);
    connect(ui_->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(ui_->Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(ui_->cbFirm, &QComboBox::activated, this, &TForm1::cbFirmChange);
    connect(ui_->cbModel, &QComboBox::activated, this, &TForm1::cbModelChange);
    connect(ui_->Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(ui_->Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(ui_->Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(ui_->Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    // The desktop session is ending (log-off, shutdown): the close query's save, as for a closed window.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &TForm1::SessionEnding);

    Handle([this] { FormCreate(); });

    form2_ = new TForm2(dialogs_, this);
    form3_ = new TForm3(this);
    connect(form3_, &TForm3::OpenFolder, this,
            [this](const QString& folder) { Handle([&] { dialogs_.OpenLink(QUrl::fromLocalFile(folder)); }); });
}

TForm1::~TForm1() = default;

void TForm1::FitTranslatedCaptions(const QRect& highQualityBox)
{
    // A caption shorter than its designed box (a translation) keeps the box's outer edge: the slider's
    // right caption ends where its box does, and the name preview follows its caption at the usual gap.
    QLabel& high = *ui_->Label8;
    high.move(std::max(high.x(), highQualityBox.x() + highQualityBox.width() - high.width()), high.y());
    constexpr int CaptionGap = 7;
    const QLabel& caption = *ui_->Label6;
    QLabel& preview = *ui_->Label5;
    preview.move(std::min(preview.x(), caption.x() + caption.width() + CaptionGap), preview.y());
}

template <typename Handler> void TForm1::Handle(Handler&& handler)
{
    std::string error;
    try {
        handler();
        return;
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = Utf8(ShownMessage(MessageId::UnexpectedError));
    }
    dialogs_.ShowError(this, FromUtf8(ErrorBoxText(error)));
}

// ---- Start-up ----

void TForm1::FormCreate()
{
    SetLabelText(*ui_->Label5, ui_->Edit6->text() + QLatin1String(InitialPreviewZeros));
    LoadPhoneCatalogue();
    LoadHistory(SourceHistoryFile, *ui_->cbSource);
    LoadHistory(ReceiverHistoryFile, *ui_->cbReceiver);
    LoadLastFolders();
    LoadFormatsOption();
    FillCropBox();
}

void TForm1::showEvent(QShowEvent* event)
{
    // Centred each time it is shown by the program, not when the window manager restores it.
    if (!event->spontaneous()) {
        CentreOnScreen(*this);
    }
    QWidget::showEvent(event);
}

// ---- Couplings ----

void TForm1::Edit6Change()
{
    Handle([this] { UpdateNamePreview(); });
}

void TForm1::Edit3Change()
{
    Handle([this] { UpdateNamePreview(); });
}

void TForm1::UpdateNamePreview()
{
    const NamePreview preview = ComputeNamePreview(Utf8(ui_->Edit6->text()), Utf8(ui_->Edit3->text()));
    if (preview.DigitCountText) {
        // Runs this again through Edit3Change.
        SetText(*ui_->Edit3, FromUtf8(*preview.DigitCountText));
    } else if (preview.Caption) {
        SetLabelText(*ui_->Label5, FromUtf8(*preview.Caption));
    }
}

void TForm1::TrackBar1Change(int position)
{
    Handle([this, position] { SetText(*ui_->Edit7, QString::number(position)); });
}

void TForm1::Edit7Change()
{
    Handle([this] {
        if (const auto quality = TryStrToInt(Utf8(ui_->Edit7->text()))) {
            // The slider keeps within its range and reports only a real move, which ends the chain.
            ui_->TrackBar1->setValue(*quality);
        } else {
            SetText(*ui_->Edit7, QLatin1String(DefaultQualityText));
        }
    });
}

void TForm1::CheckBox2Click(bool ticked)
{
    Handle([this, ticked] { ui_->Edit2->setEnabled(ticked); });
}

// ---- Phone catalogue ----

void TForm1::LoadPhoneCatalogue()
{
    const auto message = quorvane::LoadPhoneCatalogue(PhoneFileName, catalogue_, makers_);
    for (const std::string& maker : makers_) {
        ui_->cbFirm->addItem(DecodeFileText(maker));
    }
    ui_->cbFirm->setCurrentIndex(-1);
    FitListWidth(*ui_->cbFirm);
    if (message) {
        dialogs_.ShowMessage(this, ShownMessage(*message));
    }
}

// The lists show the names decoded; the catalogue is looked up by the bytes the file holds, by index.
void TForm1::cbFirmChange()
{
    Handle([this] {
        ui_->cbModel->setCurrentIndex(-1);
        ui_->cbModel->clear();
        models_.clear();
        const int index = ui_->cbFirm->currentIndex();
        if (index >= 0 && static_cast<size_t>(index) < makers_.size()) {
            FillModelList(makers_[static_cast<size_t>(index)]);
        }
    });
}

void TForm1::FillModelList(const std::string& maker)
{
    for (const std::string& model : ModelsOf(catalogue_, maker)) {
        AddComboItem(models_, model);
    }
    for (const std::string& model : models_) {
        ui_->cbModel->addItem(DecodeFileText(model));
    }
    // A list filled from nothing would select its first item; the model is chosen by the user only.
    ui_->cbModel->setCurrentIndex(-1);
    FitListWidth(*ui_->cbModel);
}

void TForm1::cbModelChange()
{
    Handle([this] {
        const int index = ui_->cbModel->currentIndex();
        if (index >= 0 && static_cast<size_t>(index) < models_.size()) {
            ShowModelSize(models_[static_cast<size_t>(index)]);
        }
    });
}

void TForm1::ShowModelSize(const std::string& model)
{
    if (const auto size = SizeOf(catalogue_, model)) {
        ui_->eWidth->setText(DecodeFileText(size->first));
        ui_->eHeight->setText(DecodeFileText(size->second));
    }
}

// ---- Folder boxes ----

void TForm1::LoadHistory(const char* fileName, QComboBox& box)
{
    const auto lines = quorvane::LoadHistory(fileName);
    if (!lines) {
        return;
    }
    const QString text = box.currentText();
    box.clear();
    for (const std::string& line : *lines) {
        // The bytes of the line go along, so removing the item finds the line again exactly.
        box.addItem(FromUtf8(line), QByteArray::fromStdString(line));
    }
    box.setCurrentIndex(-1);
    box.setEditText(text);
}

void TForm1::RemoveHistoryItem(const char* fileName, QComboBox& box)
{
    const int row = box.view()->currentIndex().row();
    if (row < 0) {
        return;
    }
    const QByteArray folder = box.itemData(row).toByteArray();
    RemoveFromHistory(folder.toStdString(), fileName);
    const QString text = box.currentText();
    for (int i = box.count() - 1; i >= 0; --i) {
        if (box.itemData(i).toByteArray() == folder) {
            box.removeItem(i);
        }
    }
    box.setCurrentIndex(-1);
    box.setEditText(text);
    if (box.count() == 0) {
        box.hidePopup();
    }
}

void TForm1::ChooseFolder(QComboBox& box)
{
    if (const auto folder = dialogs_.ChooseFolder(this, ShownMessage(MessageId::ChooseFolderPrompt))) {
        box.setEditText(*folder);
    }
}

void TForm1::Button1Click()
{
    Handle([this] { ChooseFolder(*ui_->cbSource); });
}

void TForm1::Button2Click()
{
    Handle([this] { ChooseFolder(*ui_->cbReceiver); });
}

void TForm1::LoadLastFolders()
{
    if (const auto folders = quorvane::LoadLastFolders()) {
        ui_->cbSource->setEditText(FromUtf8(folders->first));
        ui_->cbReceiver->setEditText(FromUtf8(folders->second));
    }
}

void TForm1::SaveLastFolders()
{
    quorvane::SaveLastFolders(SourceText(), ReceiverText());
}

void TForm1::LoadFormatsOption()
{
    // The box is ticked when the options file names a format beyond JPEG and BMP.
    const auto text = LoadOption("formats");
    const auto formats = text ? ParseFormatList(*text) : std::nullopt;
    if (formats && formats->Beyond(FormatSet::Defined())) {
        chosenFormats_ = *formats;
        ui_->cbAllFormats->setChecked(true);
    }
}

void TForm1::cbAllFormatsClick(bool ticked)
{
    Handle([this, ticked] {
        chosenFormats_ = FormatSet::All();
        SaveOption("formats", FormatListText(ticked ? chosenFormats_ : FormatSet::Defined()));
    });
}

void TForm1::FillCropBox()
{
    // Each item holds its position as the options file writes it; one the file names otherwise is added as
    // its number.
    QComboBox& box = *ui_->cbCrop;
    const auto add = [&box](MessageId name, CropPosition crop) {
        box.addItem(ShownMessage(name), FromUtf8(CropPositionText(crop)));
    };
    add(MessageId::CropCentre, {});
    add(MessageId::CropStart, {0});
    add(MessageId::CropEnd, {CropPosition::Whole});
    add(MessageId::CropSmart, {.Smart = true});
    box.setItemData(1, ShownMessage(MessageId::CropStartTip), Qt::ToolTipRole);
    box.setItemData(2, ShownMessage(MessageId::CropEndTip), Qt::ToolTipRole);
    box.setItemData(3, ShownMessage(MessageId::CropSmartTip), Qt::ToolTipRole);
    const auto text = LoadOption("crop");
    const auto crop = text ? ParseCropPosition(*text) : std::nullopt;
    if (!crop) {
        return;
    }
    const QString value = FromUtf8(CropPositionText(*crop));
    int index = box.findData(value);
    if (index < 0) {
        box.addItem(value, value);
        index = box.count() - 1;
    }
    box.setCurrentIndex(index);
}

void TForm1::cbCropChange(int index)
{
    Handle([this, index] { SaveOption("crop", ui_->cbCrop->itemData(index).toString().toStdString()); });
}

// ---- Buttons and closing ----

void TForm1::Button4Click()
{
    if (running_) {
        return;
    }
    Handle([this] { StartCommand(); });
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

void TForm1::StartCommand()
{
    stop_ = false;
    const RunScope busy(running_, *this);
    run_->StartCommand(*this);
}

void TForm1::Button5Click()
{
    Handle([this] { dialogs_.ShowModal(*form2_); });
}

void TForm1::Button6Click()
{
    if (running_) {
        return;
    }
    Handle([this] {
        const PreviewRequest request{SourceText(), IncludeSubfolders(), Formats(),
                                     WidthText(),  HeightText(),        BoxCrop()};
        PreviewWindow preview(dialogs_, request, adjustedCrops_, this);
        dialogs_.ShowModal(preview);
        adjustedCrops_ = preview.Adjusted();
    });
}

void TForm1::Button3Click()
{
    Handle([this] {
        SaveLastFolders();
        close();
    });
}

bool TForm1::FormCloseQuery()
{
    SaveLastFolders();
    return true;
}

void TForm1::SessionEnding()
{
    Handle([this] { FormCloseQuery(); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
        auto& drag = static_cast<QDropEvent&>(*event);
        if (DraggedFolder(drag.mimeData())) {
            TakeDrop(drag, qobject_cast<QWidget*>(watched));
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && !running_) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool remove =
            key->key() == Qt::Key_Delete && (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0;
        if (remove && watched == ui_->cbSource->view()) {
            Handle([this] { RemoveHistoryItem(SourceHistoryFile, *ui_->cbSource); });
            return true;
        }
        if (remove && watched == ui_->cbReceiver->view()) {
            Handle([this] { RemoveHistoryItem(ReceiverHistoryFile, *ui_->cbReceiver); });
            return true;
        }
    }
    // Installed on the application while a run lasts: input to this window is dropped, and Esc stops
    // the run. Other windows (a message box of the run, the report) take their input as usual.
    if (running_ && IsInput(event->type())) {
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (watched == static_cast<QObject*>(windowHandle()) || (widget != nullptr && widget->window() == this)) {
            if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                stop_ = true;
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm1::TakeDrop(QDropEvent& event, QWidget* under)
{
    const std::optional<QString> folder = DraggedFolder(event.mimeData());
    if (!folder || running_) {
        event.ignore();
        return false;
    }
    event.acceptProposedAction();
    if (event.type() == QEvent::Drop) {
        const bool receiver = under != nullptr && (under == ui_->cbReceiver || ui_->cbReceiver->isAncestorOf(under));
        Handle([&] { (receiver ? ui_->cbReceiver : ui_->cbSource)->setEditText(*folder); });
    }
    return true;
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    TakeDrop(*event, childAt(event->position().toPoint()));
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    TakeDrop(*event, childAt(event->position().toPoint()));
}

void TForm1::dropEvent(QDropEvent* event)
{
    TakeDrop(*event, childAt(event->position().toPoint()));
}

void TForm1::PutSourceFolder(const QString& path)
{
    ui_->cbSource->setEditText(FolderOf(path));
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (running_) {
        // The run stops after the picture being written; the window then closes without the report.
        stop_ = true;
        closePending_ = true;
        event->ignore();
        return;
    }
    bool canClose = true;
    Handle([this, &canClose] { canClose = FormCloseQuery(); });
    if (canClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

// ---- What the run reads and shows ----

std::string TForm1::SourceText()
{
    return Utf8(ui_->cbSource->currentText());
}

std::string TForm1::ReceiverText()
{
    return Utf8(ui_->cbReceiver->currentText());
}

std::string TForm1::WidthText()
{
    return Utf8(ui_->eWidth->text());
}

std::string TForm1::HeightText()
{
    return Utf8(ui_->eHeight->text());
}

std::string TForm1::StartNumberText()
{
    return Utf8(ui_->Edit2->text());
}

std::string TForm1::QualityText()
{
    return Utf8(ui_->Edit7->text());
}

std::string TForm1::PreviewText()
{
    return Utf8(ui_->Label5->text());
}

bool TForm1::IncludeSubfolders()
{
    return ui_->cbIcludeDir->isChecked();
}

bool TForm1::StartFromNumber()
{
    return ui_->CheckBox2->isChecked();
}

CropPosition TForm1::CropOf(const std::string& path)
{
    const auto adjusted = adjustedCrops_.find(path);
    return adjusted != adjustedCrops_.end() ? adjusted->second : BoxCrop();
}

CropPosition TForm1::BoxCrop() const
{
    return ParseCropPosition(ui_->cbCrop->currentData().toString().toStdString()).value_or(CropPosition{});
}

FormatSet TForm1::Formats()
{
    return ui_->cbAllFormats->isChecked() ? chosenFormats_ : FormatSet::Defined();
}

void TForm1::RecordFolders()
{
    const std::string source = SourceText();
    AddToHistory(source, SourceHistoryFile, source);
    const std::string receiver = ReceiverText();
    AddToHistory(receiver, ReceiverHistoryFile, receiver);
    LoadHistory(SourceHistoryFile, *ui_->cbSource);
    LoadHistory(ReceiverHistoryFile, *ui_->cbReceiver);
}

void TForm1::SetProgress(int32_t percent)
{
    ui_->CGauge1->SetProgress(percent);
    ShowTaskbarProgress(effectiveWinId(), running_ ? percent : -1);
    ProcessPendingEvents();
}

void TForm1::ShowMessage(const Message& message)
{
    const OrdinaryCursor cursor(running_);
    dialogs_.ShowMessage(this, ShownMessage(message));
}

void TForm1::ShowReport(const RunReport& report)
{
    // A run stopped by a close request ends with the window, not with the report.
    if (closePending_) {
        return;
    }
    form3_->Fill(report);
    form3_->SetReceiver(ui_->cbReceiver->currentText());
    const OrdinaryCursor cursor(running_);
    dialogs_.ShowModal(*form3_);
}

void TForm1::KeepAlive()
{
    ProcessPendingEvents();
}
