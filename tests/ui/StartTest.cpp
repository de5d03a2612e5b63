// The Start button: refused inputs, a run with its gauge and report, an error that ends a run.

#include "UiTestSupport.h"
#include "platform/DirList.h"
#include "ui/CGauge.h"
#include "ui/Finish.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace quorvane;

namespace {

// Notes the gauge's value each time it is painted.
class PaintLog : public QObject {
  public:
    explicit PaintLog(CGauge& gauge) : gauge_(gauge) { gauge_.installEventFilter(this); }
    ~PaintLog() override { gauge_.removeEventFilter(this); }

    // The values painted, each one once however often it was painted in a row.
    std::vector<int> Values;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &gauge_ && event->type() == QEvent::Paint &&
            (Values.empty() || Values.back() != gauge_.Progress())) {
            Values.push_back(gauge_.Progress());
        }
        return false;
    }

  private:
    CGauge& gauge_;
};

// Runs an action once, right after the gauge first shows a written picture: a person acting during a run.
class OnFirstProgress : public QObject {
  public:
    OnFirstProgress(CGauge& gauge, std::function<void()> action) : gauge_(gauge), action_(std::move(action))
    {
        gauge_.installEventFilter(this);
    }
    ~OnFirstProgress() override { gauge_.removeEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &gauge_ && event->type() == QEvent::Paint && gauge_.Progress() > 0 && action_) {
            // Delivered by the run's own event processing, as a person's input would be.
            QMetaObject::invokeMethod(qApp, std::exchange(action_, nullptr), Qt::QueuedConnection);
        }
        return false;
    }

  private:
    CGauge& gauge_;
    std::function<void()> action_;
};

struct ReportSeen {
    QString total, processed, skipped, lines;
    QString firstLineTip; // the tooltip over the list's first line
    int gauge = -1;
    bool mainWindowRunning = false;
};

class StartTest : public testing::Test {
  protected:
    void SetUp() override
    {
        std::filesystem::create_directory(fixture.Dir() / "in");
        std::filesystem::create_directory(fixture.Dir() / "out");
        fixture.Open();
        fixture.Dialogs.Events.clear(); // the catalogue message of the start-up
        fixture.Dialogs.OnModal = [this](QDialog& window) {
            report.total = WindowFixture::Find<QLabel>(window, "Label4").text();
            report.processed = WindowFixture::Find<QLabel>(window, "Label5").text();
            report.skipped = WindowFixture::Find<QLabel>(window, "Label6").text();
            auto& memo = WindowFixture::Find<QPlainTextEdit>(window, "Memo1");
            report.lines = memo.toPlainText();
            QHelpEvent hover(QEvent::ToolTip, QPoint(4, 4), memo.viewport()->mapToGlobal(QPoint(4, 4)));
            QApplication::sendEvent(memo.viewport(), &hover);
            report.firstLineTip = QToolTip::text();
            QToolTip::hideText();
            report.gauge = Gauge().Progress();
            report.mainWindowRunning = fixture.Form().Running();
        };
    }

    void Fill(const std::string& source, const std::string& receiver, const std::string& width,
              const std::string& height)
    {
        TypeInto(fixture.Control<QComboBox>("cbSource"), source);
        TypeInto(fixture.Control<QComboBox>("cbReceiver"), receiver);
        fixture.Control<QLineEdit>("eWidth").setText(QString::fromStdString(width));
        fixture.Control<QLineEdit>("eHeight").setText(QString::fromStdString(height));
    }
    void FillRunnable() { Fill(fixture.Dir() / "in", fixture.Dir() / "out", "24", "32"); }

    void Start() { QTest::mouseClick(&fixture.Control<QPushButton>("Button4"), Qt::LeftButton); }
    CGauge& Gauge() { return fixture.Control<CGauge>("CGauge1"); }

    WindowFixture fixture;
    ReportSeen report;
};

} // namespace

TEST_F(StartTest, EachMissingInputIsRefusedWithItsMessageAlone)
{
    struct Case {
        std::string source, receiver, width, height, startNumber, message;
    };
    const std::vector<Case> cases = {
        {"", "", "", "", "", "Не указан источник"},
        {"", "out", "24", "32", "", "Не указан источник"},
        {"in", "", "", "", "", "Не указан приёмник"},
        {"in", "out", "", "32", "", "Не указана ширина"},
        {"in", "out", "24", "", "", "Не указана высота"},
        {"in", "out", "24", "32", "12a", "Счётчик должен состоять из цифр"},
    };
    for (const Case& c : cases) {
        Fill(c.source, c.receiver, c.width, c.height);
        auto& tick = fixture.Control<QCheckBox>("CheckBox2");
        tick.setChecked(!c.startNumber.empty());
        fixture.Control<QLineEdit>("Edit2").setText(QString::fromStdString(c.startNumber));
        fixture.Dialogs.Events.clear();
        Start();
        EXPECT_EQ(fixture.Dialogs.Events, std::vector<std::string>{"message: " + c.message}) << c.message;
        EXPECT_FALSE(fixture.Exists("source.ini")) << c.message;
        EXPECT_FALSE(fixture.Exists("receiver.ini")) << c.message;
        EXPECT_EQ(Gauge().Progress(), 0);
    }
    EXPECT_TRUE(std::filesystem::is_empty(fixture.Dir() / "out"));
}

TEST_F(StartTest, GaugeFollowsEachWrittenPictureAndTheReportClosesTheRun)
{
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        WriteJpeg(fixture.Dir() / ("in/" + std::string(name)));
    }
    FillRunnable();
    PaintLog painted(Gauge());
    Start();

    EXPECT_EQ(painted.Values, (std::vector<int>{33, 66, 100, 0}));
    EXPECT_EQ(report.gauge, 100);
    EXPECT_TRUE(report.mainWindowRunning);
    EXPECT_FALSE(fixture.Form().Running());
    EXPECT_EQ(Gauge().Progress(), 0);
    EXPECT_EQ(fixture.Dialogs.Events, std::vector<std::string>{"modal: TForm3"});
    EXPECT_EQ(report.total, QStringLiteral("3"));
    EXPECT_EQ(report.processed, QStringLiteral("3"));
    EXPECT_EQ(report.skipped, QStringLiteral("0"));
    EXPECT_EQ(report.lines, QStringLiteral("Выполнено без ошибок"));
    for (const char* name : {"img0001.jpg", "img0002.jpg", "img0003.jpg"}) {
        EXPECT_TRUE(fixture.Exists(std::string("out/") + name)) << name;
    }
    // The report's other button opens the receiver in the file manager.
    auto& open = WindowFixture::Find<QPushButton>(fixture.Form().Form3(), "Button2");
    EXPECT_TRUE(open.isEnabled());
    open.click();
    const QUrl receiver = QUrl::fromLocalFile(QString::fromStdString(fixture.Dir() / "out"));
    EXPECT_EQ(fixture.Dialogs.Events.back(), "link: " + receiver.toString().toStdString());
}

TEST_F(StartTest, ReportListsEverySkippedFileOnALineOfItsOwn)
{
    WriteJpeg(fixture.Dir() / "in/good.jpg");
    const std::string longName = "a picture with a name far too long to fit the report window's width.jpg";
    WriteFileBytes(fixture.Dir() / ("in/" + longName), std::string("not a picture"));
    WriteFileBytes(fixture.Dir() / "in/broken.bmp", std::string("BM broken"));
    FillRunnable();
    Start();

    // Each skipped file's line tells why, as --verbose does.
    EXPECT_TRUE(report.firstLineTip == QStringLiteral("BMP: заголовок обрезан") ||
                report.firstLineTip.startsWith(QStringLiteral("JPEG")))
        << report.firstLineTip.toStdString();
    EXPECT_EQ(report.total, QStringLiteral("3"));
    EXPECT_EQ(report.processed, QStringLiteral("1"));
    EXPECT_EQ(report.skipped, QStringLiteral("2"));
    const QStringList lines = report.lines.split(QLatin1Char('\n'));
    const std::set<QString> listed(lines.begin(), lines.end());
    const std::set<QString> expected = {QString::fromStdString(JoinPath(fixture.Dir() / "in", longName)),
                                        QString::fromStdString(JoinPath(fixture.Dir() / "in", "broken.bmp"))};
    EXPECT_EQ(listed, expected);

    // A long path scrolls sideways instead of wrapping onto a second line.
    TForm3& reportWindow = fixture.Form().Form3();
    reportWindow.Fill(ReportOf("3", "1", "2", {fixture.Dir() / ("in/" + longName)}));
    reportWindow.show();
    auto& memo = WindowFixture::Find<QPlainTextEdit>(reportWindow, "Memo1");
    QApplication::processEvents();
    EXPECT_GT(memo.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(memo.document()->lineCount(), 1);
    reportWindow.close();
}

TEST_F(StartTest, ErrorThatEndsTheRunShowsTheErrorBoxAndNoReport)
{
    WriteJpeg(fixture.Dir() / "in/a.jpg");
    FillRunnable();
    fixture.Control<QLineEdit>("eWidth").setText(QStringLiteral("abc"));
    Start();
    EXPECT_EQ(fixture.Dialogs.Events, std::vector<std::string>{"error: 'abc' is not a valid integer value."});
    EXPECT_FALSE(fixture.Form().Running());
    EXPECT_EQ(report.gauge, -1);

    // The window goes on working: the next Start runs normally.
    fixture.Control<QLineEdit>("eWidth").setText(QStringLiteral("24"));
    fixture.Dialogs.Events.clear();
    Start();
    EXPECT_EQ(fixture.Dialogs.Events, std::vector<std::string>{"modal: TForm3"});
    EXPECT_EQ(report.total, QStringLiteral("1"));
}

TEST_F(StartTest, CloseRequestDuringARunIsCarriedOutAfterTheReport)
{
    WriteJpeg(fixture.Dir() / "in/a.jpg");
    FillRunnable();
    bool visibleAfterRequest = false;
    fixture.Dialogs.OnModal = [&](QDialog&) {
        fixture.Form().close();
        visibleAfterRequest = fixture.Form().isVisible();
    };
    Start();
    EXPECT_TRUE(visibleAfterRequest);
    EXPECT_FALSE(fixture.Form().isVisible());
    // The close request ran the close query once the run was over.
    EXPECT_EQ(fixture.Read("quorvane.ini"), fixture.Dir() / "in" + "\r\n" + fixture.Dir() / "out");
}

TEST_F(StartTest, EscOrACloseRequestDuringARunStopsItAfterThePictureBeingWritten)
{
    struct Case {
        const char* what;
        std::function<void(TForm1&)> act;
        bool reportShown;
    };
    const std::vector<Case> cases = {
        {"Esc, after a key that is ignored",
         [](TForm1& form) {
             QTest::keyClick(form.windowHandle(), Qt::Key_X);
             QTest::keyClick(form.windowHandle(), Qt::Key_Escape);
         },
         true},
        {"close request",
         [](TForm1& form) {
             QCloseEvent close;
             QCoreApplication::sendEvent(form.windowHandle(), &close);
         },
         false},
    };
    for (int i = 0; i < 8; ++i) {
        WriteJpeg(fixture.Dir() / ("in/" + std::to_string(i) + ".jpg"), 96, 72, i);
    }
    FillRunnable();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(fixture.Dir() / "out");
        std::filesystem::create_directory(fixture.Dir() / "out");
        fixture.Dialogs.Events.clear();
        report = {};
        fixture.Control<QLineEdit>("Edit6").setFocus();
        const OnFirstProgress during(Gauge(), [&] { c.act(fixture.Form()); });
        Start();

        // Nothing partial: the picture being written was finished, and nothing after it was started.
        std::vector<std::string> written;
        for (const auto& entry : std::filesystem::directory_iterator(fixture.Dir() / "out")) {
            written.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(written, std::vector<std::string>{"img0001.jpg"});
        EXPECT_EQ(fixture.Control<QLineEdit>("Edit6").text(), QStringLiteral("img"));
        EXPECT_FALSE(fixture.Form().Running());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        if (c.reportShown) {
            EXPECT_EQ(fixture.Dialogs.Events, std::vector<std::string>{"modal: TForm3"});
            // The total stays what was counted, the gauge where the run stopped, and the last line says how
            // many were not done.
            EXPECT_EQ(report.total, QStringLiteral("8"));
            EXPECT_EQ(report.processed, QStringLiteral("1"));
            EXPECT_EQ(report.gauge, 12);
            EXPECT_TRUE(report.lines.endsWith(QStringLiteral("Прервано: не обработано файлов: 7")))
                << report.lines.toStdString();
            EXPECT_TRUE(fixture.Form().isVisible());
        } else {
            EXPECT_TRUE(fixture.Dialogs.Events.empty());
            EXPECT_FALSE(fixture.Form().isVisible());
            EXPECT_EQ(fixture.Read("quorvane.ini"), fixture.Dir() / "in" + "\r\n" + fixture.Dir() / "out");
        }
    }
}
