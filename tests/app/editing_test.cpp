// The editing commands on a real local tree: adding folders and files (drive roots,
// repeats, the recycle bin and over-long names left out), Rename and Create Folder
// with their refusals and the 8.3 alias, Delete, Clear, New, Property, and drops.
#include <QLabel>
#include <QRegularExpression>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTableWidget>
#include <QTreeWidget>

#include <deque>

#include "tests/app/app_tests.h"
#include "app/add_dialog.h"
#include "app/disc_layout_dialog.h"
#include "app/main_window.h"
#include "engine/device/transport.h"

namespace tavrin::app {

namespace fs = std::filesystem;

class EditingTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QStringList messages_;
    std::deque<std::optional<QString>> answers_;  // what the Create Folder box is answered
    std::vector<std::string> debug_;
    std::unique_ptr<TFGUI> w_;

    fs::path folder() const { return fs::path(dir_.path().toStdString()); }
    fs::path source() const { return folder() / "src"; }
    QTreeWidget* tree() const { return w_->findChild<QTreeWidget*>("tvwISO"); }
    QListWidget* list() const { return w_->findChild<QListWidget*>("lvwISORoot"); }
    QString totalSpace() const { return w_->findChild<QLabel*>("lblTotalSpace")->text(); }
    QTreeWidgetItem* root() const { return tree()->topLevelItem(0); }

    QStringList ListTexts() const {
        QStringList texts;
        for (int i = 0; i < list()->count(); ++i) texts << list()->item(i)->text();
        return texts;
    }
    QListWidgetItem* ListItem(const QString& text) const {
        const auto found = list()->findItems(text, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.front();
    }
    QTreeWidgetItem* Node(QTreeWidgetItem* parent, const QString& text) const {
        for (int i = 0; i < parent->childCount(); ++i) {
            if (parent->child(i)->text(0) == text) return parent->child(i);
        }
        return nullptr;
    }
    PFileEntry Entry(const std::string& folder, const std::string& name) const {
        return w_->burner().FindFile(folder, name);
    }
    void Add(const fs::path& path) {
        w_->views().AddSourceItem(root(), "\\", fs::is_directory(path), Gbk(path.string().c_str()));
    }
    // Selects only `item` of the list.
    void SelectOnly(QListWidgetItem* item) {
        list()->clearSelection();
        item->setSelected(true);
        list()->setCurrentItem(item);
    }

private slots:
    void initTestCase() {
        WriteAll(source() / "a.txt", std::string(10, 'a'));
        WriteAll(source() / "sub" / "b.bin", std::string(1048576, 'b'));
        WriteAll(source() / "sub" / "deeper" / "c.txt", "c");
        WriteAll(source() / "Recycled" / "gone.txt", "x");
        WriteAll(source() / (std::string(103, 'n') + ".txt"), "107 bytes");
        WriteAll(source() / (std::string(104, 'n') + ".txt"), "108 bytes");
        WriteAll(folder() / "loose.txt", std::string(2000, 'l'));
    }

    void init() {
        UseVirtualRecorder(folder(), "cd-r");
        messages_.clear();
        debug_.clear();
        WindowEnvironment environment;
        environment.folder = folder();
        environment.showMessage = [this](const QString& m) { messages_ << m; };
        environment.askName = [this](const QString&, const QString&) {
            auto answer = answers_.front();
            answers_.pop_front();
            return answer;
        };
        w_ = std::make_unique<TFGUI>(environment);
        w_->burner().DoDebug = true;
        w_->burner().OnDebugMessage = [this](TSCSIDevice&, const std::string& text, uint8_t) { debug_.push_back(text); };
        w_->StartUp();
    }

    void cleanup() {
        w_.reset();
        ShutdownTransport();
        qunsetenv("TAVRIN_ASPI_CONFIG");
    }

    void addingFoldersAndFiles() {
        Add(source());
        Add(source());  // a repeat is left out without a word
        Add(folder() / "loose.txt");
        Add("/");       // the drive root
        QCOMPARE(ListTexts(), (QStringList{"src", "loose.txt"}));
        QVERIFY(messages_.isEmpty());

        QTreeWidgetItem* src = Node(root(), "src");
        QVERIFY(src != nullptr);
        QVERIFY(Node(src, "sub") != nullptr);  // loaded one level ahead
        QVERIFY(Node(src, "Recycled") == nullptr);
        QVERIFY(Entry("\\src\\", "Recycled") == nullptr);
        QVERIFY(std::find(debug_.begin(), debug_.end(), ">>> SKIPING RECYCLE BIN") != debug_.end());
        QVERIFY(Entry("\\src\\", std::string(103, 'n') + ".txt") != nullptr);
        QVERIFY(Entry("\\src\\", std::string(104, 'n') + ".txt") == nullptr);
        QVERIFY(Entry("\\src\\sub\\deeper\\", "c.txt") != nullptr);
        // Whole blocks per file: a.txt, b.bin, c.txt, the 107-byte name, loose.txt.
        QCOMPARE(w_->burner().TotalSize(), int64_t{(1 + 512 + 1 + 1 + 1) * 2048});
        QCOMPARE(totalSpace(), QString("1.01 MB"));

        // The folder's entries: folders first, then files in the engine's order.
        tree()->setCurrentItem(src);
        QCOMPARE(w_->findChild<QLineEdit*>("edtCDDir")->text(), QString("\\src\\"));
        QStringList files = ListTexts();
        QCOMPARE(files.takeFirst(), QString("sub"));
        files.sort();
        QCOMPARE(files, (QStringList{"a.txt", QString::fromStdString(std::string(103, 'n') + ".txt")}));
    }

    void renameRefusalsAndAliases() {
        Add(source());
        tree()->setCurrentItem(Node(root(), "src"));
        struct Case {
            const char* from;
            const char* to;
            const char* message;  // empty: renamed
            const char* alias;
        };
        const Case cases[] = {
            {"a.txt", "A.TXT", "Have the same name, can not rename.", ""},
            {"a.txt", "bad\\name", "Invalid Name.", ""},
            {"a.txt", "", "", ""},  // empty: the old name stays, no message
            {"a.txt", "longfilename.text", "", "LONGFI~1.TEXT"},
            {"longfilename.text", "ab", "", "AB~1"},
        };
        for (const Case& c : cases) {
            messages_.clear();
            QListWidgetItem* item = ListItem(c.from);
            QVERIFY2(item != nullptr, c.from);
            item->setText(c.to);
            const bool renamed = *c.message == '\0' && *c.to != '\0';
            QCOMPARE(messages_, *c.message == '\0' ? QStringList{} : QStringList{c.message});
            QCOMPARE(item->text(), QString(renamed ? c.to : c.from));
            if (renamed) {
                const PFileEntry entry = Entry("\\src\\", c.to);
                QVERIFY2(entry != nullptr, c.to);
                QCOMPARE(QString::fromStdString(entry->ShortName), QString(c.alias));
                QVERIFY(Entry("\\src\\", c.from) == nullptr);
            }
        }

        // A folder takes its contents and its tree node along.
        ListItem("sub")->setText("sub2");
        QVERIFY(Entry("\\src\\sub2\\", "b.bin") != nullptr);
        QVERIFY(Entry("\\src\\sub2\\deeper\\", "c.txt") != nullptr);
        QVERIFY(w_->burner().FindDir("\\src\\sub\\") == nullptr);
        QVERIFY(Node(Node(root(), "src"), "sub2") != nullptr);

        // The root's text is the node's own.
        root()->setText(0, "MYDISC");
        QCOMPARE(root()->text(0), QString("MYDISC"));
        QVERIFY(Entry("\\", "src") != nullptr);
    }

    void createFolder() {
        answers_ = {QString(" x "), QString("a\\b"), QString(" x "), std::nullopt, QString("   ")};
        for (int i = 0; i < 5; ++i) w_->views().CreateFolder();
        QCOMPARE(messages_, (QStringList{"Invalid Name.", "Have the same name, can not Create."}));
        QVERIFY(Entry("\\", " x ") != nullptr);  // the blanks are kept
        QCOMPARE(ListTexts(), QStringList{" x "});
        QVERIFY(ListItem(" x ")->isSelected());
        QVERIFY(Node(root(), " x ") != nullptr);
        QCOMPARE(w_->burner().DirsCount(), 1);
    }

    void deleteClearAndNew() {
        Add(source());
        Add(folder() / "loose.txt");
        SelectOnly(ListItem("loose.txt"));
        w_->views().Delete(View::List);
        QCOMPARE(ListTexts(), QStringList{"src"});
        QVERIFY(Entry("\\", "loose.txt") == nullptr);

        tree()->setCurrentItem(Node(root(), "src"));
        SelectOnly(ListItem("sub"));
        w_->views().Delete(View::List);
        QVERIFY(w_->burner().FindDir("\\src\\sub\\") == nullptr);
        QVERIFY(Node(Node(root(), "src"), "sub") == nullptr);

        tree()->setCurrentItem(Node(root(), "src"));
        w_->views().Delete(View::Tree);
        QCOMPARE(root()->childCount(), 0);
        QCOMPARE(w_->burner().FilesCount(), 0);
        QCOMPARE(totalSpace(), QString("0.00 MB"));

        Add(folder() / "loose.txt");
        w_->views().Clear();
        QCOMPARE(list()->count(), 0);
        QCOMPARE(w_->burner().TotalSize(), int64_t{0});
        QCOMPARE(totalSpace(), QString("0.00 MB"));

        // New leaves the size label as it was.
        Add(source());
        const QString before = totalSpace();
        w_->views().New();
        QCOMPARE(totalSpace(), before);
        QCOMPARE(root()->text(0), QString("NEW"));
        QCOMPARE(w_->burner().TotalSize(), int64_t{0});
    }

    void property() {
        Add(source());
        tree()->setCurrentItem(Node(Node(root(), "src"), "sub"));
        SelectOnly(ListItem("b.bin"));
        w_->views().Property(View::List);
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].startsWith("Name: b.bin\r\n\r\nSize: 1.00 MB\r\n\r\nDate: "), qPrintable(messages_[0]));
        QVERIFY(messages_[0].contains(QRegularExpression("Date: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")));

        // Several: the sum alone, folders by everything below them.
        tree()->setCurrentItem(Node(root(), "src"));
        w_->views().SelectAll();
        QCOMPARE(list()->selectedItems().size(), list()->count());
        w_->views().Property(View::List);
        QCOMPARE(messages_.last(), QString("Size: 1.00 MB"));
    }

    // The dialog's folder tree adds its selected folder; its list adds the items
    // selected there, and they are deselected.
    void addDialog() {
        AddDialog dialog(w_->views(), w_.get());
        dialog.Open(QString::fromStdString(source().string()));
        dialog.Add();
        QCOMPARE(ListTexts(), QStringList{"src"});

        w_->views().Clear();
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.items()->setFocus();
        QTRY_VERIFY(dialog.items()->model()->rowCount(dialog.items()->rootIndex()) >= 4);
        dialog.SelectAll();
        dialog.SelectInverse();
        QVERIFY(dialog.items()->selectionModel()->selectedIndexes().isEmpty());
        dialog.SelectAll();
        if (!dialog.items()->hasFocus()) QSKIP("the offscreen platform gives the list no focus");
        dialog.Add();
        QVERIFY(dialog.items()->selectionModel()->selectedIndexes().isEmpty());
        QVERIFY(Entry("\\", "a.txt") != nullptr);
        QVERIFY(Entry("\\", "sub") != nullptr);
        QVERIFY(Entry("\\", std::string(103, 'n') + ".txt") != nullptr);
    }

    // The layout dialog deletes from the compilation; the window's views stay.
    void discLayout() {
        Add(source());
        const QString before = totalSpace();
        TfrmDiscLayout layout(w_->burner(), [this](const QString& m) { messages_ << m; }, w_.get());
        QTreeWidgetItem* top = layout.tree()->topLevelItem(0);
        QCOMPARE(top->text(0), QString::fromUtf8("根目录"));
        QCOMPARE(layout.grid()->item(0, 0)->text(), QString("src"));
        QCOMPARE(layout.grid()->item(0, 1)->text(), QString(" < DIR > "));

        QTreeWidgetItem* src = top->child(0);
        layout.tree()->setCurrentItem(src);
        int fileRow = -1, folderRow = -1;
        for (int r = 0; r < layout.grid()->rowCount(); ++r) {
            const QString name = layout.grid()->item(r, 0)->text();
            if (name == "a.txt") fileRow = r;
            if (name == "sub") folderRow = r;
        }
        QVERIFY(fileRow >= 0 && folderRow >= 0);
        QCOMPARE(layout.grid()->item(fileRow, 1)->text(), QString("       10"));
        QVERIFY(layout.grid()->item(fileRow, 2)->text().contains(
            QRegularExpression("^\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d$")));
        layout.DeleteRow(folderRow);
        QCOMPARE(messages_, QStringList{QString::fromUtf8("你不可以删除目录 : sub")});
        layout.DeleteRow(fileRow);
        QVERIFY(Entry("\\src\\", "a.txt") == nullptr);
        QCOMPARE(totalSpace(), before);

        // The root stays; a folder goes with what it holds; an empty one shows one row.
        layout.tree()->setCurrentItem(top);
        layout.DeleteFolder();
        QVERIFY(Entry("\\", "src") != nullptr);
        layout.tree()->setCurrentItem(layout.tree()->topLevelItem(0)->child(0)->child(0));
        layout.DeleteFolder();
        QVERIFY(w_->burner().FindDir("\\src\\sub\\") == nullptr);
        w_->burner().CreateDirPath("\\empty\\");
        layout.Refresh();
        for (int i = 0; i < layout.tree()->topLevelItem(0)->childCount(); ++i) {
            if (layout.tree()->topLevelItem(0)->child(i)->text(0) == "empty")
                layout.tree()->setCurrentItem(layout.tree()->topLevelItem(0)->child(i));
        }
        QCOMPARE(layout.grid()->rowCount(), 1);
        QVERIFY(layout.grid()->item(0, 0) == nullptr);
    }

    void dropsFromTheFileManager() {
        const QStringList paths{QString::fromStdString(source().string()),
                                QString::fromStdString((folder() / "loose.txt").string())};
        w_->DropSources(paths, View::List, nullptr);
        QCOMPARE(w_->ErrorPosition(), std::string("Drag & Drop on ListView"));
        QCOMPARE(ListTexts(), (QStringList{"src", "loose.txt"}));
        QVERIFY(root()->isExpanded());

        // Onto a folder of the tree: into that folder.
        w_->DropSources({QString::fromStdString((folder() / "loose.txt").string())}, View::Tree,
                        Node(Node(root(), "src"), "sub"));
        QCOMPARE(w_->ErrorPosition(), std::string("Drag & Drop"));
        QVERIFY(Entry("\\src\\sub\\", "loose.txt") != nullptr);
    }
};

}  // namespace tavrin::app

tavrin::app::TestRun EditingRun() {
    return [](int argc, char** argv) {
        tavrin::app::EditingTest test;
        return QTest::qExec(&test, argc, argv);
    };
}

#include "editing_test.moc"
