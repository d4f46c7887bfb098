// The main window after its start-up, with and without a transport, its settings
// file and error log, its refusal to close while busy, and the speed and size texts.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

#include "tests/app/app_tests.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/size_text.h"
#include "app/speed_list.h"
#include "engine/device/transport.h"
#include "engine/drive/media_types.h"

namespace tavrin::app {
namespace {

namespace fs = std::filesystem;

// Throws when it receives an event: an exception on its way through the message loop.
class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("disc full");
        return QObject::event(e);
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QStringList messages_;

    fs::path folder() const { return fs::path(dir_.path().toStdString()); }

    // A window whose program folder is the test's folder; its messages are kept.
    std::unique_ptr<TFGUI> window() {
        messages_.clear();
        WindowEnvironment environment;
        environment.folder = folder();
        environment.showMessage = [this](const QString& m) { messages_ << m; };
        return std::make_unique<TFGUI>(environment);
    }

    void UseVirtualRecorder(const std::string& media) { app::UseVirtualRecorder(folder(), media); }

private slots:
    void cleanup() {
        ShutdownTransport();
        qunsetenv("TAVRIN_ASPI_CONFIG");
        fs::remove(folder() / kSettingsFileName);
        fs::remove_all(folder() / "Log");
    }

    void startUpWithTheVirtualRecorder_data() {
        QTest::addColumn<QString>("media");
        QTest::addColumn<QString>("fastest");
        QTest::addColumn<QString>("slowest");
        QTest::addColumn<int>("slowestFactor");  // the slowest label read back
        QTest::newRow("CD-RW") << "cd-rw" << "48X (7,200 KB/s)" << "04X (600 KB/s)" << 4;
        // In DVD speeds, the rate in CD speeds: 2 DVD speeds are 14 CD speeds.
        QTest::newRow("DVD-R") << "dvd-r" << "18X (18,900 KB/s)" << "02X (2,850 KB/s)" << 14;
    }
    void startUpWithTheVirtualRecorder() {
        QFETCH(QString, media);
        QFETCH(QString, fastest);
        QFETCH(QString, slowest);
        QFETCH(int, slowestFactor);
        UseVirtualRecorder(media.toStdString());
        auto w = window();
        w->StartUp();

        QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join("\n")));
        const auto* recorders = w->findChild<QComboBox*>("cboBurner");
        QCOMPARE(recorders->count(), 1);
        QVERIFY(recorders->currentText().contains("TAVRIN  VIRTUAL RECORDER"));
        QCOMPARE(w->findChild<QLabel*>("lblBurner")->text(), QString("Burner D:"));
        QCOMPARE(w->findChild<QLabel*>("lblTotalSpace")->text(), QString("0.00 MB"));
        auto* speeds = w->findChild<QComboBox*>("cboSpeed");
        QVERIFY(speeds->count() >= 2);
        QCOMPARE(speeds->itemText(0), QString("Max"));
        QCOMPARE(speeds->itemText(1), fastest);
        QCOMPARE(speeds->itemText(speeds->count() - 1), slowest);
        speeds->setCurrentIndex(speeds->count() - 1);
        QCOMPARE(int{w->SelectedSpeed()}, slowestFactor);
        speeds->setCurrentIndex(0);
        QCOMPARE(speeds->currentIndex(), 0);
        QCOMPARE(w->SelectedSpeed(), uint16_t{0});
        // Every label stands once and names a speed of the disc's kind.
        for (int i = 1; i < speeds->count(); ++i) {
            QVERIFY2(speeds->itemText(i).contains(QRegularExpression("^\\d\\dX \\([\\d,]+ KB/s\\)$")),
                     qPrintable(speeds->itemText(i)));
            QCOMPARE(speeds->findText(speeds->itemText(i)), i);
        }
        for (const char* name : {"actStartBurn", "actBurnIso", "actErase"}) QVERIFY(w->command(name)->isEnabled());
        QVERIFY(!w->command("actUpgrade")->isEnabled());
        QCOMPARE(w->ErrorPosition(), Gbk("After Burner DebugMsg, ClearAll"));
        QCOMPARE(w->burner().StripSourcePath, true);
        QCOMPARE(w->versionText(), std::string("V2.2"));
    }

    // The program copied where no manager library lies beside it, on a machine
    // without an optical drive: the message, and the window still opens.
    void startUpWithoutATransport() {
        if (fs::exists("/dev/sr0")) QSKIP("this machine has an optical drive");
        const fs::path program = folder() / "alone" / "tavrin";
        fs::create_directories(program.parent_path());
        fs::copy_file(qgetenv("TAVRIN_APP").toStdString(), program, fs::copy_options::overwrite_existing);
        QProcess run;
        run.setWorkingDirectory(QString::fromStdString(program.parent_path().string()));
        run.start(QString::fromStdString(program.string()), {"--screenshot", "shot.png"});
        QVERIFY(run.waitForFinished(60000));
        const QString errors = QString::fromUtf8(run.readAllStandardError());
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(errors.count("message: "), 1);
        QVERIFY2(errors.contains(QString::fromUtf8("message: 不能够初始化 ASPI，请安装 ASPI 4.7 或 更高版本！")),
                 qPrintable(errors));
        QVERIFY(fs::file_size(program.parent_path() / "shot.png") > 0);
    }

    void settingsFile_data() {
        QTest::addColumn<QString>("file");  // empty: no file
        QTest::addColumn<bool>("archive");
        QTest::addColumn<bool>("finalize");
        QTest::addColumn<bool>("joliet");
        QTest::addColumn<bool>("quickSave");
        QTest::addColumn<int>("cacheSize");
        QTest::addColumn<QString>("volume");
        QTest::newRow("no file") << "" << false << false << true << false << 4194304 << "";
        QTest::newRow("every key") << "[Options]\nArchiveFiles=1\nCloseDisc=-1\nJolietFS=0\nTestWrite=1\n"
                                      "PerformOPC=1\nQuickSaveISO=7\nShowFiles=1\nVolumeLable=BACKUP\n"
                                      "CacheSize=8388608\nSavePath=1\nBootImage=x.img\n"
                                   << true << true << false << true << 8388608 << "BACKUP";
        QTest::newRow("not integers count as absent")
            << "[Options]\nArchiveFiles=yes\nJolietFS=false\nCacheSize=big\n" << false << false << true << false
            << 4194304 << "";
        QTest::newRow("other sections are not read") << "[Other]\nArchiveFiles=1\nCacheSize=8388608\n" << false
                                                     << false << true << false << 4194304 << "";
    }
    void settingsFile() {
        QFETCH(QString, file);
        QFETCH(bool, archive);
        QFETCH(bool, finalize);
        QFETCH(bool, joliet);
        QFETCH(bool, quickSave);
        QFETCH(int, cacheSize);
        QFETCH(QString, volume);
        if (!file.isEmpty()) WriteAll(folder() / kSettingsFileName, file.toStdString());
        UseVirtualRecorder("cd-r");
        auto w = window();
        w->StartUp();
        QCOMPARE(w->flags().archiveFiles, archive);
        QCOMPARE(w->flags().quickSaveISO, quickSave);
        QCOMPARE(w->burner().FinalizeDisc, finalize);
        QCOMPARE(w->burner().JolietFileSystem, joliet);
        QCOMPARE(w->burner().CacheSize(), cacheSize);
        QCOMPARE(QString::fromStdString(w->burner().IdVolume), volume);
    }

    // Two exceptions through the message loop: two entries with an empty line
    // between them, the caption showing the second.
    void exceptionsGoToTheErrorLog() {
        UseVirtualRecorder("cd-r");
        auto w = window();
        w->StartUp();
        static_cast<TApplication*>(qApp)->SetMainWindow(w.get());
        Thrower thrower;
        for (int i = 0; i < 2; ++i) {
            if (i == 1) w->SetErrorPosition("before BurnCD");
            QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
            QCoreApplication::sendPostedEvents(&thrower);
        }
        static_cast<TApplication*>(qApp)->SetMainWindow(nullptr);

        const std::string log = ReadAll(folder() / "Log" / "Log.txt");
        const std::string rule = " ********* ----------------------------------- ********* \r\n";
        QCOMPARE(log.substr(0, rule.size()), rule);
        const auto second = log.find(rule, rule.size());
        QVERIFY(second != std::string::npos);
        const std::string first = log.substr(0, second);
        QVERIFY(first.ends_with("\r\nError Position: " + Gbk("After Burner DebugMsg, ClearAll") +
                                "\r\nError: disc full\r\n\r\n"));
        QVERIFY(first.find("\r\nTime: ") == rule.size() - 2);
        QVERIFY(log.ends_with("\r\nError Position: before BurnCD\r\nError: disc full\r\n\r\n"));
        QVERIFY(w->windowTitle().startsWith(QString::fromStdString(rule.substr(0, rule.size() - 2))));
        QVERIFY(w->windowTitle().contains("before BurnCD"));
    }

    void closeIsRefusedWhileBusy() {
        UseVirtualRecorder("cd-r");
        auto w = window();
        w->StartUp();
        w->show();
        w->SetIdle(false);
        QVERIFY(!w->close());
        QCOMPARE(messages_, QStringList{"now is burning, can not close."});
        QVERIFY(w->isVisible());
        w->SetIdle(true);
        QVERIFY(w->close());
    }

    // The upgrade library says done while a write runs: the close is refused once,
    // and the poll does not come back.
    void upgradePollDuringABurn() {
        fs::copy_file(qgetenv("TAVRIN_UPGRADE_DONE").toStdString(), folder() / "libautoupgrade.so",
                      fs::copy_options::overwrite_existing);
        UseVirtualRecorder("cd-r");
        auto w = window();
        fs::remove(folder() / "libautoupgrade.so");
        w->StartUp();
        w->show();
        w->SetIdle(false);
        QTRY_COMPARE_WITH_TIMEOUT(messages_, QStringList{"now is burning, can not close."}, 5000);
        QTest::qWait(2500);
        QCOMPARE(messages_.size(), 1);
        QVERIFY(w->isVisible());
    }

    void speedLabels_data() {
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("factor");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("mediaType");
        QTest::addColumn<int>("parsed");
        QTest::newRow("CD 48") << 48 << 48 << "48X (7,200 KB/s)" << 3 << 48;
        QTest::newRow("CD below ten") << 4 << 4 << "04X (600 KB/s)" << 2 << 4;
        QTest::newRow("DVD") << 2 << 16 << "02X (2,400 KB/s)" << int{drive::media::kDVDR} << 14;
    }
    void speedLabels() {
        QFETCH(int, shown);
        QFETCH(int, factor);
        QFETCH(QString, label);
        QFETCH(int, mediaType);
        QFETCH(int, parsed);
        const std::string text = SpeedLabel(static_cast<uint16_t>(shown), static_cast<uint16_t>(factor));
        QCOMPARE(QString::fromStdString(text), label);
        QCOMPARE(int{ParseSpeedLabel(text, static_cast<uint8_t>(mediaType))}, parsed);
        QCOMPARE(int{ParseSpeedLabel("Max", static_cast<uint8_t>(mediaType))}, 0);
    }

    void sizeTexts() {
        QCOMPARE(QString::fromStdString(SizeText(0)), QString("0.00 MB"));
        QCOMPARE(QString::fromStdString(SizeText(1048576)), QString("1.00 MB"));
        QCOMPARE(QString::fromStdString(SizeText(5242)), QString("0.00 MB"));
        QCOMPARE(QString::fromStdString(SizeText(5243)), QString("0.01 MB"));
        QCOMPARE(QString::fromStdString(SizeText(4700000000)), QString("4,482.27 MB"));
    }
};

}  // namespace tavrin::app

tavrin::app::TestRun MainWindowRun() {
    return [](int argc, char** argv) {
        tavrin::app::MainWindowTest test;
        return QTest::qExec(&test, argc, argv);
    };
}

#include "main_window_test.moc"
