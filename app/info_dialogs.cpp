#include "app/info_dialogs.h"

#include <array>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/busy_cursor.h"
#include "app/folder_nodes.h"
#include "app/qt_text.h"
#include "engine/drive/capabilities.h"
#include "engine/sessions/extract.h"
#include "engine/sessions/import.h"
#include "engine/sessions/session_list.h"

namespace tavrin::app {
namespace {

constexpr int kSessionMaxFiles = 65535;
constexpr int kSessionMaxDirs = 8191;
constexpr int kEntryRole = Qt::UserRole;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

struct CapabilityBox {
    uint32_t flag;
    const char* name;
    const char* caption;
};

constexpr std::array<CapabilityBox, 17> kCapabilityBoxes = {{
    {drive::ReadCDR, "ReadCDR", "读取 CDR"},
    {drive::ReadCDRW, "ReadCDRW", "读取 CDRW"},
    {drive::ReadDVD, "ReadDVD", "读取 DVD"},
    {drive::ReadDVDR, "ReadDVDR", "读取 DVD-R"},
    {drive::ReadDVDRW, "ReadDVDRW", "读取 DVD-RW"},
    {drive::ReadDVDRAM, "ReadDVDRAM", "读取 DVD-RAM"},
    {drive::ReadDVDPR, "ReadDVDPR", "读取 DVD+R"},
    {drive::ReadDVDPRW, "ReadDVDPRW", "读取 DVD+RW"},
    {drive::WriteCDR, "WriteCDR", "写入 CDR"},
    {drive::WriteCDRW, "WriteCDRW", "写入 CDRW"},
    {drive::WriteDVDR, "WriteDVDR", "写入 DVD-R"},
    {drive::WriteDVDRW, "WriteDVDRW", "写入 DVD-RW"},
    {drive::WriteDVDRAM, "WriteDVDRAM", "写入 DVD-RAM"},
    {drive::WriteDVDPR, "WriteDVDPR", "写入 DVD+R"},
    {drive::WriteDVDPRW, "WriteDVDPRW", "写入 DVD+RW"},
    {drive::WriteTest, "WriteTest", "写入 Test"},
    {drive::UnderrunProtection, "UnderrunProtection", "Underrun Protection"},
}};

QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

void Message(const DialogHooks& hooks, QWidget* parent, const QString& text) {
    if (hooks.message) return hooks.message(text);
    QMessageBox::information(parent, parent->windowTitle(), text);
}

}  // namespace

BurnerInfoDialog::BurnerInfoDialog(const TSCSIDevice& device, QWidget* parent) : QDialog(parent) {
    setObjectName("Form2");
    setWindowTitle(Text("刻录信息"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NamedLabel("lblDevice", FromGbk("  " + device.DeviceName), this));
    auto* panel = new QGroupBox(this);
    panel->setEnabled(false);  // the boxes only display
    auto* grid = new QGridLayout(panel);
    int at = 0;
    for (const CapabilityBox& c : kCapabilityBoxes) {
        auto* box = new QCheckBox(Text(c.caption), panel);
        box->setObjectName(c.name);
        box->setChecked((device.CapabilityFlags & c.flag) != 0);
        grid->addWidget(box, at % 9, at / 9);
        ++at;
    }
    layout->addWidget(panel);
    layout->addWidget(NamedLabel("lblMaxWrite", Text("最大写入速度:  ") + QString("%1x").arg(device.DeviceMaxWriteSpeed), this));
    layout->addWidget(NamedLabel("lblMaxRead", Text("最大读取速度:  ") + QString("%1x").arg(device.DeviceMaxReadSpeed), this));
    auto* close = new QPushButton("Close", this);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);  // Esc closes as well
    layout->addWidget(close, 0, Qt::AlignRight);
}

AboutDialog::AboutDialog(const std::string& version, QWidget* parent) : QDialog(parent) {
    setObjectName("dlgAbout");
    setWindowTitle(Text("关于"));
    auto* layout = new QVBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_DriveCDIcon).pixmap(48, 48));
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(NamedLabel("lblTitle", QApplication::applicationDisplayName(), this), 0, Qt::AlignHCenter);
    layout->addWidget(NamedLabel("lblVersion", Text("版本：") + QString::fromStdString(version), this), 0,
                      Qt::AlignHCenter);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

SessionBrowser::SessionBrowser(TvxCDBurner& burner, DialogHooks hooks, QWidget* parent)
    : QDialog(parent),
      burner_(burner),
      hooks_(std::move(hooks)),
      tree_(new QTreeWidget(this)),
      grid_(new QTableWidget(this)),
      strip_(new QPushButton(this)) {
    setObjectName("frmTree");
    setWindowTitle(Text("段落详细信息"));
    tree_->setHeaderHidden(true);
    grid_->setColumnCount(4);
    grid_->setHorizontalHeaderLabels({Text("文件名"), Text("文件大小"), Text("   日期"), Text("  时间")});
    grid_->setColumnHidden(2, true);
    grid_->setColumnHidden(3, true);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->setVisible(false);
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setToolTip("Double click on a file name to extract");
    grid_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The status strip: a click on it extracts every file of the grid.
    strip_->setObjectName("stbStatus");
    strip_->setFlat(true);
    strip_->setAutoDefault(false);
    strip_->setStyleSheet("text-align: left");
    auto* splitter = new QSplitter(this);
    splitter->addWidget(tree_);
    splitter->addWidget(grid_);
    splitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(strip_);
    connect(strip_, &QPushButton::clicked, this, &SessionBrowser::ExtractAll);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) { ShowFolder(node); });
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { RowActivated(row); });
    resize(640, 420);

    auto* root = new QTreeWidgetItem(QStringList{"Session Info"});
    tree_->addTopLevelItem(root);
    AddFolderNodes(burner_, root, burner_.Root());
    root->setExpanded(true);
    tree_->setCurrentItem(root);
}

void SessionBrowser::ShowFolder(QTreeWidgetItem* node) {
    if (node == nullptr) return;
    const PDirEntry dir = DirOfNode(node);
    grid_->setRowCount(0);
    int kind = 0;
    int row = 0;
    for (PFileEntry cursor = nullptr; burner_.GetNextEntry(dir, kind, cursor); ++row) {
        grid_->insertRow(row);
        auto* name = new QTableWidgetItem(FromGbk(sessions::Pad(2, ' ', row + 1) + " " + cursor->LongName));
        name->setData(kEntryRole, QVariant::fromValue<void*>(cursor));
        grid_->setItem(row, 0, name);
        grid_->setItem(row, 1, new QTableWidgetItem(EntrySizeText(*cursor)));
    }
    // An empty folder keeps one empty row.
    if (row == 0) grid_->setRowCount(1);
}

PFileEntry SessionBrowser::RowEntry(int row) const {
    const QTableWidgetItem* item = grid_->item(row, 0);
    return item == nullptr ? nullptr : static_cast<PFileEntry>(item->data(kEntryRole).value<void*>());
}

void SessionBrowser::RowActivated(int row) {
    const PFileEntry entry = RowEntry(row);
    if (entry == nullptr) return;
    if (IsFolderEntry(*entry)) return Message(hooks_, this, "This is directory : " + FromGbk(entry->LongName));
    std::optional<QString> target;
    if (hooks_.askText) {
        target = hooks_.askText("Change Name", "Change Name To:", FromGbk(entry->LongName));
    } else {
        bool ok = false;
        const QString answer = QInputDialog::getText(this, "Change Name", "Change Name To:", QLineEdit::Normal,
                                                     FromGbk(entry->LongName), &ok);
        if (ok) target = answer;
    }
    if (!target || target->isEmpty()) return;
    const BusyCursor busy;
    sessions::ExtractFile(burner_, entry, ToGbk(*target));
}

void SessionBrowser::ExtractAll() {
    std::optional<QString> folder;
    if (hooks_.askFolder) {
        folder = hooks_.askFolder();
    } else {
        const QString chosen = QFileDialog::getExistingDirectory(this, windowTitle());
        if (!chosen.isEmpty()) folder = chosen;
    }
    if (!folder) return;
    const BusyCursor busy;
    const std::string base = ToGbk(*folder) + "/";
    for (int row = 0; row < grid_->rowCount(); ++row) {
        const PFileEntry entry = RowEntry(row);
        if (entry == nullptr || IsFolderEntry(*entry)) continue;
        strip_->setText(Text("正在扩展 ") + FromGbk(entry->LongName));
        sessions::ExtractFile(burner_, entry, base + sessions::SafeLocalName(entry->LongName));
    }
}

SessionInfoDialog::SessionInfoDialog(TvxCDBurner& device, DialogHooks hooks, QWidget* parent)
    : QDialog(parent),
      device_(device),
      hooks_(std::move(hooks)),
      lines_(new QListWidget(this)),
      medium_(NamedLabel("lblMedium", {}, this)),
      totalSpace_(NamedLabel("lblTotalSpace", {}, this)),
      usedSpace_(NamedLabel("lblUsedSpace", {}, this)) {
    setObjectName("frmSessions");
    setWindowTitle(Text("段落"));
    auto* values = new QGridLayout;
    values->addWidget(new QLabel(Text("媒介"), this), 0, 0);
    values->addWidget(medium_, 0, 1);
    values->addWidget(new QLabel(Text("总空间"), this), 1, 0);
    values->addWidget(totalSpace_, 1, 1);
    values->addWidget(new QLabel(Text("已使用空间"), this), 2, 0);
    values->addWidget(usedSpace_, 2, 1);
    auto* header = new QHBoxLayout;
    header->addWidget(new QLabel(Text("段落    持续时间     尺寸"), this), 1);
    auto* detailsButton = new QPushButton(Text("详细"), this);
    detailsButton->setAutoDefault(false);
    header->addWidget(detailsButton);
    lines_->setObjectName("lstSessions");
    lines_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(values);
    layout->addLayout(header);
    layout->addWidget(lines_, 1);
    const auto details = [this] {
        if (SessionBrowser* browser = OpenDetails()) browser->exec();
    };
    connect(detailsButton, &QPushButton::clicked, this, details);
    connect(lines_, &QListWidget::itemClicked, this, details);
    connect(lines_, &QListWidget::itemDoubleClicked, this, &QDialog::reject);
    resize(420, 300);

    const BusyCursor busy;
    const sessions::SessionList list =
        sessions::ReadSessionList(device_, {.underrunProtection = device_.UnderrunProtection});
    for (const std::string& line : list.lines) lines_->addItem(QString::fromStdString(line));
    medium_->setText(QString::fromStdString(list.medium));
    totalSpace_->setText(QString::fromStdString(list.totalSpace));
    usedSpace_->setText(QString::fromStdString(list.usedSpace));
}

SessionInfoDialog::~SessionInfoDialog() = default;

SessionBrowser* SessionInfoDialog::OpenDetails() {
    const int selected = lines_->currentRow();
    if (selected < 0 || lines_->selectedItems().isEmpty()) {
        Message(hooks_, this, "Select session from list");
        return nullptr;
    }
    if (lines_->count() < 2 || selected == lines_->count() - 1) return nullptr;
    const BusyCursor busy;
    // The session takes the place of the compilation: there is one per program.
    detailsOpened_ = true;
    device_.ClearAll(kSessionMaxFiles, kSessionMaxDirs);
    sessions::ImportSession(device_, static_cast<int8_t>(selected + 1), nullptr);
    browser_ = std::make_unique<SessionBrowser>(device_, hooks_, this);
    return browser_.get();
}

}  // namespace tavrin::app
