// The commands that use the recorder, against the virtual recorder: Start Burn and
// its read-back, Abort, Save ISO's names, Burn ISO onto an appendable disc, Erase,
// and the preferences they read.
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QListWidget>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QCheckBox>

#include <chrono>
#include <thread>

#include "tests/app/app_tests.h"
#include "app/info_dialogs.h"
#include "app/main_window.h"
#include "app/preferences_dialog.h"
#include "engine/device/transport.h"
#include "engine/drive/wait_ready.h"
#include "engine/sessions/extract.h"
#include "engine/sessions/import.h"
#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"
#include "tests/support/shared_tools.h"

namespace tavrin::app {

namespace fs = std::filesystem;

class DiscCommandsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QStringList messages_;
    std::optional<QString> answer_;
    std::vector<std::string> debug_;
    std::unique_ptr<TFGUI> w_;

    fs::path folder() const { return fs::path(dir_.path().toStdString()); }
    std::string content() const { return std::string(300000, 'z'); }

    void Start(const std::string& media, const std::string& timeScale = "0") {
        UseVirtualRecorder(folder(), media, timeScale);
        WindowEnvironment environment;
        environment.folder = folder();
        environment.showMessage = [this](const QString& m) { messages_ << m; };
        environment.askText = [this](const QString&, const QString&, const QString&) { return answer_; };
        environment.askImageFile = [this] { return answer_; };
        environment.confirm = [](const QString&, const QString&) { return true; };
        environment.sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::microseconds(ms * 10)); };
        w_ = std::make_unique<TFGUI>(environment);
        w_->burner().DoDebug = true;
        w_->burner().OnDebugMessage = [this](TSCSIDevice&, const std::string& t, uint8_t) { debug_.push_back(t); };
        w_->StartUp();
    }
    // The folder root/src at the compilation's root: root is what the disc shows.
    void AddSource() {
        WriteAll(folder() / "root" / "src" / "data.bin", content());
        WriteAll(folder() / "root" / "src" / "sub" / "note.txt", "note");
        w_->views().AddSourceItem(w_->views().SelectedNode(), "\\", true, (folder() / "root" / "src").string());
    }
    bool TrayOpen() const { return vrecorder::loadRecorderConfig(folder() / "tray").trayOpen; }
    // Waits for the job's end to reach the window.
    void WaitIdle() { QTRY_VERIFY_WITH_TIMEOUT(!w_->Busy(), 30000); }

private slots:
    void init() {
        QDir::setCurrent(dir_.path());
        messages_.clear();
        debug_.clear();
    }
    void cleanup() {
        w_.reset();
        ShutdownTransport();
        qunsetenv("TAVRIN_ASPI_CONFIG");
    }

    // The disc holds the session afterwards; the compilation and the views are empty.
    void startBurnOnABlankCdR() {
        Start("cd-r");
        w_->Preferences().chkEjectBurn()->setChecked(false);
        AddSource();
        w_->StartBurn();
        QVERIFY(w_->Busy());
        QVERIFY(!w_->command("actStartBurn")->isEnabled());
        QVERIFY(w_->command("actAbort")->isEnabled());
        WaitIdle();
        QCOMPARE(messages_, QStringList{QString::fromUtf8("刻录成功!")});
        QCOMPARE(w_->burner().FilesCount(), 0);
        QCOMPARE(w_->findChild<QTreeWidget*>("tvwISO")->topLevelItem(0)->text(0), QString("NEW"));
        QCOMPARE(w_->progressCaption(), QString("Progress: "));
        QVERIFY(!TrayOpen());
        QVERIFY(std::find(debug_.begin(), debug_.end(), ">>> Burn successful") != debug_.end());

        // The session as an image, through the independent verifier against the tree.
        {
            const auto store = vrecorder::DiscStore::open(folder() / "disc");
            std::vector<uint8_t> block(2048);
            QCOMPARE(store.read(16, block), vrecorder::DiscResult::Ok);
            const uint32_t blocks = block[80] | block[81] << 8 | block[82] << 16 | uint32_t{block[83]} << 24;
            std::vector<uint8_t> image(std::size_t{blocks} * 2048);
            QCOMPARE(store.read(0, image), vrecorder::DiscResult::Ok);
            WriteAll(folder() / "session.iso", std::string(image.begin(), image.end()));
        }
        QProcess verify;
        verify.start(QString::fromStdString(test::SharedTool("verify-iso").string()),
                     {QString::fromStdString((folder() / "session.iso").string()), "--tree",
                      QString::fromStdString((folder() / "root").string())});
        QVERIFY(verify.waitForFinished(120000));
        QVERIFY2(verify.exitCode() == 0, verify.readAllStandardOutput().constData());

        // Read back with the engine.
        TvxCDBurner& b = w_->burner();
        QVERIFY(sessions::ImportSession(b, -1, nullptr));
        const PFileEntry data = b.FindFile("\\src\\", "data.bin");
        QVERIFY(data != nullptr);
        QVERIFY(sessions::ExtractFile(b, data, (folder() / "back.bin").string()));
        QCOMPARE(ReadAll(folder() / "back.bin"), content());
    }

    // Two sessions burnt through the window, then listed by Session Info and
    // browsed. With TAVRIN_SCREENSHOTS set, the busy window and both dialogs are
    // saved there as pictures.
    void twoSessionsThroughTheWindow() {
        Start("cd-r", "0.3");
        w_->Preferences().chkEjectBurn()->setChecked(false);
        w_->resize(1100, 640);
        w_->show();
        const QString shots = qEnvironmentVariable("TAVRIN_SCREENSHOTS");
        for (int session = 1; session <= 2; ++session) {
            const fs::path source = folder() / ("session" + std::to_string(session));
            const std::size_t megabytes = session == 2 ? 20 : 3;
            WriteAll(source / "data.bin", std::string(megabytes << 20, static_cast<char>('0' + session)));
            WriteAll(source / QString::fromUtf8("文档").toStdString() / "note.txt", "note");
            w_->views().AddSourceItem(w_->views().SelectedNode(), "\\", true, source.string());
            w_->StartBurn();
            QVERIFY(w_->Busy());
            if (session == 2 && !shots.isEmpty()) {
                QTRY_VERIFY(!w_->statusText()->text().isEmpty() || !w_->Busy());
                w_->grab().save(shots + "/main-window-busy.png");
            }
            WaitIdle();
            QCOMPARE(messages_.last(), QString::fromUtf8("刻录成功!"));
        }
        SessionInfoDialog info(w_->burner(), DialogHooks{[this](const QString& m) { messages_ << m; }, {}, {}},
                               w_.get());
        QCOMPARE(info.lines()->count(), 3);
        QVERIFY(info.lines()->item(0)->text().startsWith("  001      000:02:00 "));
        QVERIFY(info.lines()->item(1)->text().startsWith("  002      "));
        QVERIFY(info.lines()->item(2)->text().startsWith(" Free      "));
        info.lines()->setCurrentRow(1);
        SessionBrowser* browser = info.OpenDetails();
        QVERIFY(browser != nullptr);
        QCOMPARE(browser->tree()->topLevelItem(0)->child(0)->text(0), QString("session2"));
        if (!shots.isEmpty()) {
            info.show();
            browser->show();
            browser->tree()->setCurrentItem(browser->tree()->topLevelItem(0)->child(0));
            QTest::qWait(200);
            info.grab().save(shots + "/session-info.png");
            browser->grab().save(shots + "/session-browser.png");
        }
    }

    void burnWithEjectAsked() {
        Start("cd-r");
        AddSource();
        w_->StartBurn();
        WaitIdle();
        QVERIFY(TrayOpen());
    }

    // Abort: idle at once; the job's end later says why.
    void abortDuringABurn() {
        Start("cd-r", "0.2");
        WriteAll(folder() / "big" / "big.bin", std::string(20 << 20, 'b'));
        w_->views().AddSourceItem(w_->views().SelectedNode(), "\\", true, (folder() / "big").string());
        w_->StartBurn();
        QVERIFY(w_->Busy());
        w_->Abort();
        QVERIFY(!w_->Busy());
        QVERIFY(w_->statusText()->text().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, 60000);
        QVERIFY2(messages_[0].startsWith(QString::fromUtf8("刻录失败!\r\n错误: ")), qPrintable(messages_[0]));
        QVERIFY2(messages_[0].contains("OPERATION ABORTED BY USER"), qPrintable(messages_[0]));
    }

    void saveIsoNames_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("file");     // empty: nothing saved
        QTest::addColumn<QString>("message");
        QTest::newRow("bare name") << "backup" << "backup.iso" << QString::fromUtf8("ISO文件，保存成功!");
        QTest::newRow("upper-case extension") << "backup.ISO" << "backup.ISO.iso"
                                              << QString::fromUtf8("ISO文件，保存成功!");
        QTest::newRow("a path") << "/tmp/backup" << "" << "Invalid Name.";
        QTest::newRow("a Windows path") << "C:\\backup" << "" << "Invalid Name.";
    }
    void saveIsoNames() {
        QFETCH(QString, answer);
        QFETCH(QString, file);
        QFETCH(QString, message);
        Start("cd-r");
        AddSource();
        answer_ = answer;
        w_->SaveIso();
        WaitIdle();
        QTRY_COMPARE(messages_, QStringList{message});
        if (file.isEmpty()) return;
        const fs::path image = folder() / file.toStdString();
        QVERIFY(fs::exists(image));
        fs::remove(image);
        QCOMPARE(w_->burner().FilesCount(), 0);
        QVERIFY(!TrayOpen());  // an image save never ejects
    }

    // A quick save into a folder that cannot be written ends like any failed save.
    void quickSaveFailureReturnsToIdle() {
        WriteAll(folder() / vxcbName(), "[Options]\nQuickSaveISO=1\n");
        Start("cd-r");
        fs::remove(folder() / vxcbName());
        AddSource();
        fs::create_directories(folder() / "taken.iso");  // a folder where the image would go
        answer_ = "taken.iso";
        w_->SaveIso();
        WaitIdle();
        QTRY_COMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].startsWith("Failed in Saving ISO file!\r\nError: "), qPrintable(messages_[0]));
        QVERIFY(w_->close());
    }

    void burnIsoOntoAnAppendableDisc() {
        Start("cd-r");
        w_->Preferences().chkEjectBurn()->setChecked(false);
        AddSource();
        w_->StartBurn();
        WaitIdle();
        messages_.clear();
        answer_ = "image.iso";
        WriteAll(folder() / "image.iso", std::string(2048 * 20, 'i'));
        w_->BurnIso();
        WaitIdle();
        QTRY_COMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].startsWith(QString::fromUtf8("刻录失败!")), qPrintable(messages_[0]));
    }

    void erase() {
        Start("cd-r");
        w_->Erase();
        QCOMPARE(messages_, QStringList{"This is not a rewritable CD!"});
        QVERIFY(!w_->Busy());
        w_.reset();
        ShutdownTransport();
        messages_.clear();

        Start("cd-rw", "0.02");
        int highest = 0;
        connect(w_->findChild<QProgressBar*>("dxbarProgress"), &QProgressBar::valueChanged, this,
                [&highest](int value) { highest = std::max(highest, value); });
        // The disc just put in spins up first.
        QVERIFY(drive::WaitUntilReady(w_->burner(), 5000, 10));
        w_->Erase();
        QVERIFY(w_->Busy());
        WaitIdle();
        QVERIFY2(highest > 0, "the erase progress was shown");
        QVERIFY(std::find(debug_.begin(), debug_.end(), ">>> Deletion successful") != debug_.end());
        QVERIFY(messages_.isEmpty());
        QVERIFY(TrayOpen());
    }

    // OK: decimal megabytes; Cancel keeps the boxes as the user left them.
    void preferences() {
        Start("cd-r");
        TfrmPreferences& p = w_->Preferences();
        QVERIFY(!p.isVisible());
        QCOMPARE(p.lblCacheSize()->text(), QString(" 4 MBytes"));
        p.Ok();
        QCOMPARE(w_->burner().CacheSize(), 3999744);
        p.tkbCacheSize()->setValue(8);
        QCOMPARE(p.lblCacheSize()->text(), QString(" 8 MBytes"));
        p.chkJoliet()->setChecked(false);
        p.reject();
        QCOMPARE(w_->burner().CacheSize(), 3999744);
        AddSource();
        answer_ = "nojoliet";
        w_->SaveIso();
        WaitIdle();
        QCOMPARE(w_->burner().JolietFileSystem, false);
    }

private:
    static std::string vxcbName() { return kSettingsFileName; }
};

}  // namespace tavrin::app

tavrin::app::TestRun DiscCommandsRun() {
    return [](int argc, char** argv) {
        tavrin::app::DiscCommandsTest test;
        return QTest::qExec(&test, argc, argv);
    };
}

#include "disc_commands_test.moc"
