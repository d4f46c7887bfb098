// The information dialogs against the virtual recorder: what the recorder can do,
// the session list of recorded and pressed discs, the session browser with its
// extraction, and the About box.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "tests/app/app_tests.h"
#include "app/info_dialogs.h"
#include "app/main_window.h"
#include "engine/device/transport.h"
#include "recorders/virtual/disc_store.h"

namespace tavrin::app {

namespace fs = std::filesystem;

class InfoDialogsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QStringList messages_;
    std::unique_ptr<TFGUI> w_;

    fs::path folder() const { return fs::path(dir_.path().toStdString()); }

    void Start() {
        WindowEnvironment environment;
        environment.folder = folder();
        environment.showMessage = [this](const QString& m) { messages_ << m; };
        w_ = std::make_unique<TFGUI>(environment);
        w_->StartUp();
    }
    DialogHooks Hooks(std::optional<QString> answer = std::nullopt) {
        DialogHooks hooks;
        hooks.message = [this](const QString& m) { messages_ << m; };
        hooks.askText = [answer](const QString&, const QString&, const QString&) { return answer; };
        hooks.askFolder = [answer] { return answer; };
        return hooks;
    }
    QStringList Lines(const SessionInfoDialog& d) const {
        QStringList lines;
        for (int i = 0; i < d.lines()->count(); ++i) lines << d.lines()->item(i)->text();
        return lines;
    }
    // A CD-R with one closed session of `blocks` blocks from block 0, whose volume
    // descriptor (16 blocks in, when there is room) gives that many blocks.
    void RecordCdR(uint32_t blocks) {
        UseVirtualRecorder(folder(), "cd-r");
        auto store = vrecorder::DiscStore::create(folder() / "disc", vrecorder::MediaKind::CdR);
        std::vector<uint8_t> data(std::size_t{blocks} * 2048, 0x5A);
        if (blocks > 16) {
            uint8_t* pvd = data.data() + 16 * 2048;
            std::fill(pvd, pvd + 2048, uint8_t{0});
            pvd[0] = 1;
            std::copy_n("CD001", 5, pvd + 1);
            for (int i = 0; i < 4; ++i) pvd[80 + i] = static_cast<uint8_t>(blocks >> (8 * i));
        }
        QCOMPARE(store.write(0, data), vrecorder::DiscResult::Ok);
        QCOMPARE(store.closeSession(vrecorder::SessionClose::Appendable), vrecorder::DiscResult::Ok);
    }

private slots:
    void cleanup() {
        w_.reset();
        ShutdownTransport();
        qunsetenv("TAVRIN_ASPI_CONFIG");
        messages_.clear();
    }

    void burnerInfoAndAbout() {
        UseVirtualRecorder(folder(), "cd-rw");
        Start();
        BurnerInfoDialog info(w_->burner(), w_.get());
        QVERIFY(info.findChild<QLabel*>("lblDevice")->text().startsWith("  0:0:0,D: TAVRIN"));
        for (const char* box : {"ReadCDR", "WriteCDRW", "WriteDVDR", "WriteTest", "UnderrunProtection"}) {
            QVERIFY2(info.findChild<QCheckBox*>(box)->isChecked(), box);
        }
        QCOMPARE(info.findChild<QLabel*>("lblMaxWrite")->text(), QString::fromUtf8("最大写入速度:  48x"));
        QCOMPARE(info.findChild<QLabel*>("lblMaxRead")->text(), QString::fromUtf8("最大读取速度:  48x"));

        AboutDialog about(w_->versionText(), w_.get());
        QCOMPARE(about.findChild<QLabel*>("lblVersion")->text(), QString::fromUtf8("版本：V2.2"));
        QCOMPARE(about.findChild<QLabel*>("lblTitle")->text(), QString("Tavrin"));
    }

    // 1,000 blocks are 2 MB; a session without a volume descriptor has no size.
    void sessionListOfRecordedDiscs_data() {
        QTest::addColumn<int>("blocks");
        QTest::addColumn<QString>("line");
        QTest::newRow("1000 blocks") << 1000 << "  001      000:02:00     2 MB";
        QTest::newRow("no descriptor") << 10 << "  001      000:02:00  ???? MB";
    }
    void sessionListOfRecordedDiscs() {
        QFETCH(int, blocks);
        QFETCH(QString, line);
        RecordCdR(static_cast<uint32_t>(blocks));
        Start();
        SessionInfoDialog info(w_->burner(), Hooks(), w_.get());
        const QStringList lines = Lines(info);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], line);
        QVERIFY2(lines[1].startsWith(" Free      0") && lines[1].endsWith(" MB"), qPrintable(lines[1]));
        QCOMPARE(info.medium()->text(), QString("CD-R"));
        QVERIFY(info.totalSpace()->text().endsWith(" MB"));

        // The free-space line has no details; no line selected asks for one.
        QVERIFY(info.OpenDetails() == nullptr);
        QCOMPARE(messages_, QStringList{"Select session from list"});
        info.lines()->setCurrentRow(1);
        QVERIFY(info.OpenDetails() == nullptr);
        QCOMPARE(messages_.size(), 1);
    }

    // A CD-ROM pressed from an image of a peer: its session in the browser, a file
    // extracted by name and every file of a folder into a folder.
    void sessionBrowserExtracts() {
        const fs::path tree = folder() / "tree";
        const std::string content(70000, 'q');
        WriteAll(tree / "docs" / "report.txt", content);
        WriteAll(tree / "docs" / "empty.txt", "");
        fs::create_directories(tree / "docs" / "sub");
        const fs::path image = folder() / "pressed.iso";
        QCOMPARE(QProcess::execute("genisoimage", {"-quiet", "-J", "-o", QString::fromStdString(image.string()),
                                                   QString::fromStdString(tree.string())}),
                 0);
        UseVirtualRecorder(folder(), "cd-r");
        vrecorder::DiscStore::press(folder() / "disc", image, vrecorder::MediaKind::CdRom);
        Start();

        SessionInfoDialog info(w_->burner(), Hooks(QString::fromStdString((folder() / "out").string())), w_.get());
        QCOMPARE(Lines(info).size(), 2);
        info.lines()->setCurrentRow(0);
        SessionBrowser* browser = info.OpenDetails();
        QVERIFY(browser != nullptr);
        QVERIFY(info.detailsOpened());

        QTreeWidgetItem* docs = browser->tree()->topLevelItem(0)->child(0);
        QCOMPARE(docs->text(0), QString("docs"));
        browser->tree()->setCurrentItem(docs);
        QStringList rows;
        for (int r = 0; r < browser->grid()->rowCount(); ++r) {
            rows << browser->grid()->item(r, 0)->text() + "|" + browser->grid()->item(r, 1)->text();
        }
        rows.sort();
        QCOMPARE(rows, (QStringList{" 1 empty.txt|        0", " 2 report.txt|    70000", " 3 sub| < DIR > "}) );

        fs::create_directories(folder() / "out");
        browser->ExtractAll();
        QCOMPARE(ReadAll(folder() / "out" / "report.txt"), content);
        QVERIFY(fs::exists(folder() / "out" / "empty.txt"));
        QVERIFY(!fs::exists(folder() / "out" / "sub"));

        for (int r = 0; r < browser->grid()->rowCount(); ++r) {
            if (browser->grid()->item(r, 1)->text() == " < DIR > ") browser->RowActivated(r);
        }
        QCOMPARE(messages_, QStringList{"This is directory : sub"});
    }
};

}  // namespace tavrin::app

tavrin::app::TestRun InfoDialogsRun() {
    return [](int argc, char** argv) {
        tavrin::app::InfoDialogsTest test;
        return QTest::qExec(&test, argc, argv);
    };
}

#include "info_dialogs_test.moc"
