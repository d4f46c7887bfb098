#include "app/disc_layout_dialog.h"

#include <QAction>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <fmt/format.h>

#include "app/folder_nodes.h"
#include "app/qt_text.h"
#include "engine/compilation/date_time.h"

namespace tavrin::app {
namespace {

constexpr int kEntryRole = Qt::UserRole;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// "mm-dd-yyyy hh:nn:ss".
QString DateText(TDateTime when) {
    const auto local = compilation::LocalFromDateTime(when);
    if (!local) return {};
    return QString::fromStdString(fmt::format("{:02}-{:02}-{:04} {:02}:{:02}:{:02}", local->month, local->day,
                                              local->year, local->hour, local->minute, local->second));
}

template <typename Pointer>
Pointer PointerOf(const QVariant& value) {
    return static_cast<Pointer>(value.value<void*>());
}

}  // namespace

TfrmDiscLayout::TfrmDiscLayout(TvxCDBurner& burner, std::function<void(const QString&)> message, QWidget* parent)
    : QDialog(parent), burner_(burner), message_(std::move(message)), tree_(new QTreeWidget(this)),
      grid_(new QTableWidget(this)) {
    setObjectName("frmDiscLayout");
    setWindowTitle(Text("盘布局"));
    tree_->setHeaderHidden(true);
    grid_->setColumnCount(4);
    grid_->setHorizontalHeaderLabels({Text("文件名"), Text("文件大小"), Text("   日期&时间"), Text("  时间")});
    grid_->setColumnHidden(3, true);
    grid_->setColumnWidth(0, 254);
    grid_->setColumnWidth(1, 71);
    grid_->setColumnWidth(2, 141);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->setVisible(false);
    // The two context menus: Delete (Delete key) and Refresh (F5), both captioned "??".
    const auto menu = [this](QWidget* view, std::function<void()> remove) {
        view->setContextMenuPolicy(Qt::ActionsContextMenu);
        auto* del = new QAction("??", view);
        del->setShortcut(QKeySequence::Delete);
        del->setShortcutContext(Qt::WidgetShortcut);
        connect(del, &QAction::triggered, this, std::move(remove));
        auto* refresh = new QAction("??", view);
        refresh->setShortcut(QKeySequence(Qt::Key_F5));
        refresh->setShortcutContext(Qt::WidgetShortcut);
        connect(refresh, &QAction::triggered, this, &TfrmDiscLayout::Refresh);
        view->addAction(del);
        view->addAction(refresh);
    };
    menu(grid_, [this] { DeleteRow(grid_->currentRow()); });
    menu(tree_, [this] { DeleteFolder(); });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) { ShowFolder(node); });

    auto* splitter = new QSplitter(this);
    splitter->addWidget(tree_);
    splitter->addWidget(grid_);
    splitter->setStretchFactor(1, 1);
    auto* close = new QPushButton(Text("关闭"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);  // Esc too
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(760, 460);
    Refresh();
}

void TfrmDiscLayout::Message(const QString& text) {
    if (message_) return message_(text);
    QMessageBox::information(this, windowTitle(), text);
}

void TfrmDiscLayout::Refresh() {
    tree_->clear();
    auto* root = new QTreeWidgetItem(QStringList{Text("根目录")});
    tree_->addTopLevelItem(root);
    AddFolderNodes(burner_, root, burner_.Root());
    root->setExpanded(true);
    tree_->setCurrentItem(root);
    ShowFolder(root);
}

PDirEntry TfrmDiscLayout::SelectedDir() const {
    const QTreeWidgetItem* node = tree_->currentItem();
    return DirOfNode(node);
}

void TfrmDiscLayout::ShowFolder(QTreeWidgetItem* node) {
    if (node == nullptr) return;
    const PDirEntry dir = DirOfNode(node);
    grid_->setRowCount(0);
    int kind = 0;
    int row = 0;
    for (PFileEntry cursor = nullptr; burner_.GetNextEntry(dir, kind, cursor); ++row) {
        const bool folder = IsFolderEntry(*cursor);
        grid_->insertRow(row);
        auto* name = new QTableWidgetItem(FromGbk(cursor->LongName));
        name->setData(kEntryRole, QVariant::fromValue<void*>(cursor));
        grid_->setItem(row, 0, name);
        grid_->setItem(row, 1, new QTableWidgetItem(EntrySizeText(*cursor)));
        if (!folder) grid_->setItem(row, 2, new QTableWidgetItem(DateText(cursor->DateTime)));
    }
    // An empty folder keeps one empty row.
    if (row == 0) grid_->setRowCount(1);
}

void TfrmDiscLayout::DeleteRow(int row) {
    const QTableWidgetItem* item = grid_->item(row, 0);
    if (item == nullptr) return;
    const auto entry = PointerOf<PFileEntry>(item->data(kEntryRole));
    if (entry == nullptr) return;
    if (IsFolderEntry(*entry)) return Message(Text("你不可以删除目录 : ") + FromGbk(entry->LongName));
    burner_.DeleteEntry(SelectedDir(), entry);
    ShowFolder(tree_->currentItem());
}

void TfrmDiscLayout::DeleteFolder() {
    PDirEntry dir = SelectedDir();
    if (dir == nullptr) return;
    burner_.DeleteDir(dir);
    Refresh();
}

}  // namespace tavrin::app
