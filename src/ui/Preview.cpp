#include "ui/Preview.h"

#include "conversion/Conversion.h"
#include "conversion/Picture.h"
#include "conversion/SmartCrop.h"
#include "ui/Dialogs.h"
#include "ui/Language.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSaveFile>
#include <QStyledItemDelegate>
#include <QThreadPool>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

using namespace quorvane;

namespace {

// The thumbnails fit a square of this side; a tile adds a margin and two lines of text.
constexpr int ThumbnailSide = 128;
constexpr int TileMargin = 6;
// Steps of the arrow keys, in millionths of the excess: a small one, and one with Shift.
constexpr int64_t NudgeStep = CropPosition::Whole / 100;
constexpr int64_t LargeNudgeStep = CropPosition::Whole / 10;

struct PreviewEntry {
    std::string Path;
    PictureFormat Format = PictureFormat::Jpeg;
    int32_t Width = 0; // upright
    int32_t Height = 0;
    QString Why;  // why the picture cannot be shown; empty when it can
    QImage Image; // the thumbnail, once made
    bool Made = false;
    std::optional<CropPosition> Chosen;   // a smart mode's choice, once the thumbnail is made
    std::optional<CropPosition> Adjusted; // moved by hand
};

// Where a picture's kept window falls on its thumbnail, and how it may move.
struct KeptPart {
    QRectF Window;
    bool Stretched = false;
    bool Movable = false;
    bool AcrossWidth = true;
    double MillionthsPerPixel = 0; // a move of one thumbnail pixel along the free side
};

KeptPart PlaceKept(const PreviewEntry& entry, TargetSize target, CropPosition position, const QRectF& thumbnail)
{
    KeptPart kept;
    if (!target.Usable() || entry.Width <= 0 || entry.Height <= 0 || thumbnail.isEmpty()) {
        return kept;
    }
    const FitPlan plan = PlanFit(entry.Width, entry.Height, target.Width, target.Height, position);
    const double sx = thumbnail.width() / static_cast<double>(plan.W);
    const double sy = thumbnail.height() / static_cast<double>(plan.H);
    kept.Window =
        QRectF(thumbnail.x() + plan.Left * sx, thumbnail.y() + plan.Top * sy, plan.Width * sx, plan.Height * sy);
    const int64_t excess = plan.CropWidth ? plan.W - target.Width : plan.H - target.Height;
    kept.Stretched = plan.Stretch && excess <= 0;
    kept.Movable = excess >= 2;
    kept.AcrossWidth = plan.CropWidth;
    kept.MillionthsPerPixel = kept.Movable ? CropPosition::Whole / (excess * (plan.CropWidth ? sx : sy)) : 0;
    return kept;
}

// The thumbnail's place in its tile: centred in the square above the text.
QRectF ThumbnailRect(const QRect& tile, const QImage& image)
{
    const QSizeF size = image.isNull() ? QSizeF(ThumbnailSide, ThumbnailSide * 3 / 4) : image.deviceIndependentSize();
    const QRect square(tile.x() + (tile.width() - ThumbnailSide) / 2, tile.y() + TileMargin, ThumbnailSide,
                       ThumbnailSide);
    return QRectF(square.x() + (ThumbnailSide - size.width()) / 2.0, square.y() + (ThumbnailSide - size.height()) / 2.0,
                  size.width(), size.height());
}

// A position as the crop box names it, else as its number.
QString PositionName(CropPosition position)
{
    if (position.Smart) {
        return ShownMessage(MessageId::CropSmart);
    }
    switch (position.Millionths) {
    case 0:
        return ShownMessage(MessageId::CropStart);
    case CropPosition::Whole / 2:
        return ShownMessage(MessageId::CropCentre);
    case CropPosition::Whole:
        return ShownMessage(MessageId::CropEnd);
    default:
        return QString::fromStdString(CropPositionText(position));
    }
}

QString FileName(const std::string& path)
{
    const QString text = QString::fromUtf8(path);
    const qsizetype slash = std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
    return text.mid(slash + 1);
}

} // namespace

// The listed pictures in walk order, with their thumbnails and positions.
class PreviewModel : public QAbstractListModel {
  public:
    PreviewModel(TargetSize target, CropPosition mode, QObject* parent)
        : QAbstractListModel(parent), target_(target), mode_(mode)
    {
    }

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(entries_.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount({})) {
            return {};
        }
        const PreviewEntry& entry = At(index.row());
        switch (role) {
        case Qt::DisplayRole:
            return FileName(entry.Path);
        case Qt::ToolTipRole:
            return QString::fromUtf8(entry.Path);
        case Qt::DecorationRole:
            return entry.Image;
        case Qt::AccessibleTextRole:
            return FileName(entry.Path) + QLatin1String(", ") + StateText(index.row());
        default:
            return {};
        }
    }

    const PreviewEntry& At(int row) const { return entries_[static_cast<size_t>(row)]; }
    TargetSize Target() const { return target_; }

    void Append(PreviewEntry entry)
    {
        const int row = rowCount({});
        beginInsertRows({}, row, row);
        entries_.push_back(std::move(entry));
        endInsertRows();
    }

    void SetThumbnail(int row, QImage image, std::optional<CropPosition> chosen, QString why)
    {
        PreviewEntry& entry = entries_[static_cast<size_t>(row)];
        entry.Image = std::move(image);
        entry.Chosen = chosen;
        entry.Made = true;
        if (entry.Why.isEmpty()) {
            entry.Why = std::move(why);
        }
        Changed(row);
    }

    void SetAdjusted(int row, std::optional<CropPosition> position)
    {
        entries_[static_cast<size_t>(row)].Adjusted = position;
        Changed(row);
    }

    // Where the run crops the picture: moved by hand, else the mode's choice.
    CropPosition Position(int row) const
    {
        const PreviewEntry& entry = At(row);
        if (entry.Adjusted) {
            return *entry.Adjusted;
        }
        return mode_.Smart && entry.Chosen ? *entry.Chosen : mode_;
    }

    // What the tile's second line says.
    QString StateText(int row) const
    {
        const PreviewEntry& entry = At(row);
        if (!entry.Why.isEmpty()) {
            return entry.Why;
        }
        if (PlaceKept(entry, target_, Position(row), QRectF(0, 0, 100, 100)).Stretched) {
            return ShownMessage(MessageId::PreviewStretched);
        }
        const QString place = PositionName(Position(row));
        return entry.Adjusted ? ShownMessage({MessageId::PreviewMoved, place.toStdString()}) : place;
    }

    int Made() const
    {
        return static_cast<int>(
            std::count_if(entries_.begin(), entries_.end(), [](const PreviewEntry& entry) { return entry.Made; }));
    }

  private:
    void Changed(int row)
    {
        const QModelIndex changed = index(row);
        emit dataChanged(changed, changed);
    }

    TargetSize target_;
    CropPosition mode_;
    std::vector<PreviewEntry> entries_;
};

namespace {

// Paints a tile: the thumbnail, the part outside the kept window dimmed, the window's frame, the name and
// the position.
class PreviewDelegate : public QStyledItemDelegate {
  public:
    PreviewDelegate(const PreviewModel& model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& /*index*/) const override
    {
        return {ThumbnailSide + 2 * TileMargin, ThumbnailSide + 2 * TileMargin + 2 * option.fontMetrics.height()};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const PreviewEntry& entry = model_.At(index.row());
        const QPalette& palette = option.palette;
        painter->save();
        const bool current = (option.state & QStyle::State_HasFocus) != 0;
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        if (selected) {
            painter->fillRect(option.rect, palette.color(QPalette::Highlight).lighter(170));
        }
        const QRectF thumbnail = ThumbnailRect(option.rect, entry.Image);
        if (!entry.Image.isNull()) {
            painter->drawImage(thumbnail, entry.Image);
            const KeptPart kept = PlaceKept(entry, model_.Target(), model_.Position(index.row()), thumbnail);
            if (!kept.Window.isEmpty()) {
                QPainterPath outside;
                outside.addRect(thumbnail);
                outside.addRect(kept.Window);
                painter->fillPath(outside, QColor(0, 0, 0, 150));
                painter->setPen(QPen(entry.Adjusted ? QColor(230, 120, 0) : palette.color(QPalette::Highlight), 2));
                painter->drawRect(kept.Window.adjusted(1, 1, -1, -1));
            }
        } else {
            painter->fillRect(thumbnail, palette.color(QPalette::Mid));
        }
        const int line = option.fontMetrics.height();
        const QRect name(option.rect.x() + 2, option.rect.y() + ThumbnailSide + 2 * TileMargin, option.rect.width() - 4,
                         line);
        painter->setPen(palette.color(QPalette::Text));
        painter->drawText(name, Qt::AlignHCenter,
                          option.fontMetrics.elidedText(index.data().toString(), Qt::ElideMiddle, name.width()));
        QFont small = option.font;
        small.setItalic(entry.Adjusted.has_value() || !entry.Why.isEmpty());
        painter->setFont(small);
        const QRect state = name.translated(0, line);
        painter->drawText(state, Qt::AlignHCenter,
                          QFontMetrics(small).elidedText(model_.StateText(index.row()), Qt::ElideRight, state.width()));
        if (current) {
            painter->setPen(QPen(palette.color(QPalette::Highlight), 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }

  private:
    const PreviewModel& model_;
};

} // namespace

// The tiles in rows; a drag on a thumbnail moves its window, the arrow keys nudge it, a double click (or
// Backspace) gives it back to the mode.
class PreviewList : public QListView {
  public:
    PreviewList(PreviewModel& model, QWidget* parent) : QListView(parent), model_(model)
    {
        setModel(&model);
        setItemDelegate(new PreviewDelegate(model, this));
        setViewMode(QListView::IconMode);
        setResizeMode(QListView::Adjust);
        setMovement(QListView::Static);
        setUniformItemSizes(true);
        setSelectionMode(QAbstractItemView::SingleSelection);
        setDragEnabled(false);
        setSpacing(2);
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        QListView::mousePressEvent(event);
        const QModelIndex index = indexAt(event->position().toPoint());
        drag_ = std::nullopt;
        if (!index.isValid() || event->button() != Qt::LeftButton) {
            return;
        }
        const KeptPart kept = KeptOf(index);
        if (kept.Movable && kept.Window.contains(event->position())) {
            drag_ = Drag{index.row(), event->position(), model_.Position(index.row()).Millionths, kept};
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!drag_) {
            QListView::mouseMoveEvent(event);
            return;
        }
        const QPointF moved = event->position() - drag_->From;
        const double along = drag_->Kept.AcrossWidth ? moved.x() : moved.y();
        Move(drag_->Row, drag_->Start + static_cast<int64_t>(along * drag_->Kept.MillionthsPerPixel));
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        drag_ = std::nullopt;
        QListView::mouseReleaseEvent(event);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (const QModelIndex index = indexAt(event->position().toPoint()); index.isValid()) {
            model_.SetAdjusted(index.row(), std::nullopt);
        }
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const QModelIndex index = currentIndex();
        const bool plain = (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0;
        const int key = event->key();
        if (index.isValid() && plain && (key == Qt::Key_Left || key == Qt::Key_Right)) {
            if (KeptOf(index).Movable) {
                const int64_t step = (event->modifiers() & Qt::ShiftModifier) ? LargeNudgeStep : NudgeStep;
                Move(index.row(), model_.Position(index.row()).Millionths + (key == Qt::Key_Left ? -step : step));
            }
            event->accept();
            return;
        }
        if (index.isValid() && plain && key == Qt::Key_Backspace) {
            model_.SetAdjusted(index.row(), std::nullopt);
            event->accept();
            return;
        }
        QListView::keyPressEvent(event);
    }

  private:
    struct Drag {
        int Row;
        QPointF From;
        int64_t Start;
        KeptPart Kept;
    };

    KeptPart KeptOf(const QModelIndex& index) const
    {
        const PreviewEntry& entry = model_.At(index.row());
        return PlaceKept(entry, model_.Target(), model_.Position(index.row()),
                         ThumbnailRect(visualRect(index), entry.Image));
    }

    void Move(int row, int64_t millionths)
    {
        model_.SetAdjusted(row, CropPosition{std::clamp<int64_t>(millionths, 0, CropPosition::Whole)});
    }

    PreviewModel& model_;
    std::optional<Drag> drag_;
};

namespace {

// The main window's boxes as the listing reads them, taken when the preview opened.
class RequestControls final : public RunControls {
  public:
    explicit RequestControls(const PreviewRequest& request) : request_(request) {}
    std::string SourceText() override { return request_.SourceText; }
    std::string ReceiverText() override { return {}; }
    std::string WidthText() override { return request_.WidthText; }
    std::string HeightText() override { return request_.HeightText; }
    std::string StartNumberText() override { return {}; }
    std::string QualityText() override { return {}; }
    std::string PreviewText() override { return {}; }
    bool IncludeSubfolders() override { return request_.IncludeSubfolders; }
    bool StartFromNumber() override { return false; }
    FormatSet Formats() override { return request_.Formats; }
    void SetProgress(int32_t /*percent*/) override {}
    void ShowMessage(const Message& message) override
    {
        if (refusal_.Empty()) {
            refusal_ = message;
        }
    }
    void ShowReport(const RunReport& /*report*/) override {}
    const Message& Refusal() const { return refusal_; }

  private:
    const PreviewRequest& request_;
    Message refusal_;
};

TargetSize TargetOf(const PreviewRequest& request)
{
    TargetSize target;
    std::string ignored;
    ReadTarget({request.WidthText, request.HeightText, {}}, target, ignored);
    return target;
}

} // namespace

// The work behind the window: one task lists the pictures and hands out one thumbnail task per picture;
// they run on a pool of the machine's cores and give up once `Stop` is set.
struct PreviewWindow::Work {
    std::atomic<bool> Stop = false;
    QThreadPool Pool;
};

PreviewWindow::PreviewWindow(Dialogs& dialogs, const PreviewRequest& request,
                             const std::map<std::string, CropPosition>& adjusted, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), request_(request), adjusted_(adjusted), work_(std::make_shared<Work>())
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(ShownMessage(MessageId::PreviewTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    const TargetSize target = TargetOf(request);
    model_ = new PreviewModel(target, request.Mode, this);
    list_ = new PreviewList(*model_, this);
    list_->setObjectName(QStringLiteral("lvPictures"));
    list_->setAccessibleName(ShownMessage(MessageId::PreviewPictures));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lStatus"));
    status_->setWordWrap(true);
    auto* hint = new QLabel(ShownMessage(MessageId::PreviewHint), this);
    hint->setWordWrap(true);
    save_ = new QPushButton(ShownMessage(MessageId::PreviewSave), this);
    save_->setObjectName(QStringLiteral("bSave"));
    save_->setAutoDefault(false);
    auto* close = new QPushButton(ShownMessage(MessageId::PreviewClose), this);
    close->setObjectName(QStringLiteral("bClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(save_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(save_, &QPushButton::clicked, this, &PreviewWindow::SaveList);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &PreviewWindow::UpdateStatus);
    const int tile = ThumbnailSide + 2 * TileMargin + 4;
    resize(std::max(5 * tile + 40, sizeHint().width()), 3 * (tile + 2 * fontMetrics().height()) + 120);
    UpdateStatus();

    // The listing reads each picture's header on a thread of the pool; each picture it finds gets a row
    // and a task for its thumbnail. The entries reach the window through its event queue, in walk order.
    work_->Pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()) + 1);
    const std::shared_ptr<Work> work = work_;
    const PreviewRequest shown = request_;
    // Thumbnails in the screen's own pixels, so a scaled display draws them sharp.
    const qreal ratio = devicePixelRatioF();
    work->Pool.start([this, work, shown, target, adjusted, ratio] {
        RequestControls controls(shown);
        ConversionRun run(RunOptions{.Stop = &work->Stop});
        int row = 0;
        const RunOutcome outcome = run.ListCommand(controls, [&](const ListedPicture& picture) {
            PreviewEntry entry;
            entry.Path = picture.Path;
            entry.Format = picture.Format;
            entry.Width = picture.PictureWidth;
            entry.Height = picture.PictureHeight;
            entry.Why = picture.Why ? ShownMessage(picture.Why.Text()) : QString();
            if (const auto moved = adjusted.find(picture.Path); moved != adjusted.end()) {
                entry.Adjusted = moved->second;
            }
            const bool opened = !picture.Why;
            QMetaObject::invokeMethod(
                this,
                [this, entry = std::move(entry), row]() mutable {
                    model_->Append(std::move(entry));
                    Listed(row);
                },
                Qt::QueuedConnection);
            if (opened) {
                work->Pool.start([this, work, picture, target, mode = shown.Mode, row, ratio] {
                    if (work->Stop) {
                        return;
                    }
                    Raster reduced;
                    LoadError why;
                    QImage image;
                    std::optional<CropPosition> chosen;
                    // A smart position is chosen from the picture decoded whole, as the run chooses it; a
                    // thumbnail alone comes from a reduced decode.
                    const bool smart = mode.Smart && target.Usable();
                    if (ReadReducedPicture(picture.Path, picture.Format, SmartCropWorkingSide, reduced, why,
                                           &work->Stop, !smart)) {
                        const int side = qRound(ThumbnailSide * ratio);
                        image = QImage(reduced.Pixels.data(), reduced.Width, reduced.Height,
                                       static_cast<qsizetype>(reduced.Stride()), QImage::Format_RGB888)
                                    .scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
                        image.setDevicePixelRatio(ratio);
                        if (smart) {
                            chosen = ChooseSmartCrop(reduced, picture.PictureWidth, picture.PictureHeight, target.Width,
                                                     target.Height);
                        }
                    }
                    const QString failed = image.isNull() ? ShownMessage(why.Text()) : QString();
                    QMetaObject::invokeMethod(
                        this,
                        [this, row, image = std::move(image), chosen, failed]() mutable {
                            model_->SetThumbnail(row, std::move(image), chosen, failed);
                            ThumbnailMade();
                        },
                        Qt::QueuedConnection);
                });
            } else {
                QMetaObject::invokeMethod(
                    this,
                    [this, row] {
                        model_->SetThumbnail(row, {}, std::nullopt, {});
                        ThumbnailMade();
                    },
                    Qt::QueuedConnection);
            }
            ++row;
        });
        const QString refusal = outcome == RunOutcome::Refused && !controls.Refusal().Empty()
                                    ? ShownMessage(controls.Refusal())
                                    : QString();
        QMetaObject::invokeMethod(
            this, [this, refusal] { ListingEnded(refusal); }, Qt::QueuedConnection);
    });
}

PreviewWindow::~PreviewWindow()
{
    StopWork();
}

void PreviewWindow::StopWork()
{
    work_->Stop = true;
    work_->Pool.clear();
    work_->Pool.waitForDone();
}

void PreviewWindow::done(int result)
{
    // Closing stops the listing and the thumbnails not yet made.
    StopWork();
    QDialog::done(result);
}

std::map<std::string, CropPosition> PreviewWindow::Adjusted() const
{
    // Pictures not listed (the window closed before it reached them) keep what they had.
    std::map<std::string, CropPosition> adjusted = adjusted_;
    for (int row = 0; row < model_->rowCount({}); ++row) {
        if (const PreviewEntry& entry = model_->At(row); entry.Adjusted) {
            adjusted[entry.Path] = *entry.Adjusted;
        } else {
            adjusted.erase(entry.Path);
        }
    }
    return adjusted;
}

bool PreviewWindow::Finished() const
{
    return listed_ && made_ == model_->rowCount({});
}

void PreviewWindow::Listed(int row)
{
    if (row == 0) {
        list_->setCurrentIndex(model_->index(0));
    }
}

void PreviewWindow::ThumbnailMade()
{
    ++made_;
    UpdateStatus();
}

void PreviewWindow::ListingEnded(const QString& refusal)
{
    listed_ = true;
    refusal_ = refusal;
    UpdateStatus();
}

void PreviewWindow::UpdateStatus()
{
    if (!refusal_.isEmpty()) {
        status_->setText(refusal_);
    } else {
        status_->setText(ShownMessage(
            {MessageId::PreviewStatus,
             {Message::Plain(std::to_string(model_->rowCount({}))), Message::Plain(std::to_string(made_))}}));
    }
    save_->setEnabled(model_->rowCount({}) > 0);
}

void PreviewWindow::SaveList()
{
    const auto file =
        dialogs_.ChooseSaveFile(this, ShownMessage(MessageId::PreviewSaveTitle), QStringLiteral("crops.txt"));
    if (!file) {
        return;
    }
    // A crop file as --crop-file reads it: a comment with the size, then a line per picture; a picture
    // that cannot be opened is named in a comment.
    QByteArray text = "# " + QByteArray::fromStdString(request_.WidthText) + "x" +
                      QByteArray::fromStdString(request_.HeightText) + "\n";
    for (int row = 0; row < model_->rowCount({}); ++row) {
        const PreviewEntry& entry = model_->At(row);
        const QByteArray path = QByteArray::fromStdString(entry.Path);
        text += entry.Why.isEmpty() || !entry.Made
                    ? QByteArray::fromStdString(CropPositionText(model_->Position(row))) + " " + path + "\n"
                    : "# " + path + ": " + entry.Why.toUtf8() + "\n";
    }
    QSaveFile out(*file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        dialogs_.ShowMessage(this, ShownMessage({MessageId::PreviewSaveFailed, file->toStdString()}));
    }
}
