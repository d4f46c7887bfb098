#include "app/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QInputDialog>
#include <QMimeData>
#include <QUrl>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/add_dialog.h"
#include "app/error_log.h"
#include "app/info_dialogs.h"
#include "app/preferences_dialog.h"
#include "app/busy_cursor.h"
#include "app/qt_text.h"
#include "app/size_text.h"
#include "app/speed_list.h"
#include "engine/device/transport.h"
#include "engine/drive/capabilities.h"
#include "engine/drive/device_selection.h"
#include "engine/drive/media_info.h"
#include "engine/platform/executable_folder.h"
#include "engine/platform/gbk.h"

namespace tavrin::app {

// Rebuilt from the drive each time it drops down, so that it shows the speeds of
// the disc now in the drive.
class SpeedComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;

    void showPopup() override {
        if (beforePopup) beforePopup();
        QComboBox::showPopup();
    }
};

namespace {

constexpr const char* kCaption = "Tavrin";
constexpr const char* kVersion = "V2.2";
constexpr const char* kUpgradeLibrary = "libautoupgrade.so";
constexpr const char* kLogFolder = "Log";
constexpr const char* kLogFile = "Log.txt";
constexpr int kUpgradePollMs = 1000;
constexpr int kTreeWidth = 250;
constexpr int kStatusTextWidth = 230, kProgressWidth = 330, kBufferWidth = 130, kHostBufferWidth = 80;
constexpr uint32_t kWritesADisc = drive::WriteCDR | drive::WriteDVDR | drive::WriteDVDRAM;

constexpr const char* kNoTransportMessage = "不能够初始化 ASPI，请安装 ASPI 4.7 或 更高版本！";
constexpr const char* kBusyCloseMessage = "now is burning, can not close.";

// The start-up steps as the error log names them.
namespace position {
constexpr const char* kCreate = "建立.";
constexpr const char* kAfterLoadFile = "After Load File.";
constexpr const char* kAfterDebugMsg = "After Burner DebugMsg";
constexpr const char* kTransportReady = "刻录后，初始化ASPI";
constexpr const char* kDeviceStarted = "刻录后，启动设备";
constexpr const char* kAfterSpeedDropDown = "After Burner SpeedDropDown";
constexpr const char* kAfterIniCreate = "After vxcb.ini Create";
constexpr const char* kAfterIniFree = "After ini Free";
constexpr const char* kAfterClearAll = "After Burner DebugMsg, ClearAll";
}  // namespace position

std::string Gbk(const char* utf8) { return platform::Utf8ToGbk(utf8).value_or(utf8); }
QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The local date and time as the system writes them, short date and long time.
std::string LocalTimeText() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    return ToGbk(locale.toString(now.date(), QLocale::ShortFormat) + " " +
                 locale.toString(now.time(), QLocale::LongFormat));
}

// The commands and their captions; those without a command stay disabled.
struct CommandText {
    const char* name;
    const char* text;
    bool hasCommand;
};
constexpr CommandText kCommands[] = {
    {"actNew", "新建", true},
    {"actAdd", "增加", true},
    {"actSaveIso", "保存 ISO", true},
    {"actStartBurn", "开始刻录", true},
    {"actBurnIso", "刻录 ISO", true},
    // The tool bar's Abort button bears this caption.
    {"actAbort", "关于", true},
    {"actErase", "察除", true},
    {"actEject", "弹出光驱", true},
    {"actLoad", "读取光驱", true},
    {"actPreferences", "参数设置", true},
    {"actAbout", "关于", true},
    {"actUpgrade", "升级", false},
    {"actExit", "退出", true},
    {"actDelete", "删除", true},
    {"actClear", "清空", true},
    {"actRename", "重命名", true},
    {"actCreateFolder", "新建文件夹", true},
    {"actExtract", "提取文件", false},
    {"actSelectAll", "全部选择", true},
    {"actProperty", "属性", true},
    {"actImportSession", "导出段落", false},
    {"actBurnerInfo", "刻录信息", true},
    {"actSessionInfo", "段落信息", true},
};

}  // namespace

std::filesystem::path ProgramFolder() {
    const auto folder = platform::ExecutableFolder();
    if (!folder) return std::filesystem::current_path();
    return std::filesystem::path(platform::GbkToUtf8(*folder).value_or(*folder));
}

TFGUI::TFGUI(WindowEnvironment environment, QWidget* parent)
    : QMainWindow(parent),
      environment_(std::move(environment)),
      burner_(std::make_unique<TvxCDBurner>()),
      upgrade_((environment_.folder / kUpgradeLibrary).string()) {
    setObjectName("FGUI");
    setWindowTitle(Text(kCaption));
    ConfigureBurner();
    BuildCommands();
    BuildMenus();
    BuildBand();
    BuildCompilationArea();
    BuildStatusBar();
    ConnectEditingCommands();
    ConnectDiscCommands();
    upgradeTimer_.setInterval(kUpgradePollMs);
    connect(&upgradeTimer_, &QTimer::timeout, this, &TFGUI::PollUpgrade);
    upgradeTimer_.start();
}

TFGUI::~TFGUI() = default;

void TFGUI::ConfigureBurner() {
    TvxCDBurner& b = *burner_;
    b.UnderrunProtection = true;
    b.ReadSpeed = 0;
    b.WriteSpeed = 0;
    b.FinalizeDisc = false;
    b.TestWrite = false;
    b.ReplaceFile = false;
    b.PerformOPC = false;
    b.SetCacheSize(TvxCDBurner::kDefaultCacheSize);
    b.WritePostGap = true;
    b.DeviceBufferSize = 0;
    b.DeviceFreeBufferSize = 0;
}

QAction* TFGUI::AddCommand(const char* name, const QString& text) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    commands_[name] = action;
    return action;
}

QAction* TFGUI::command(const QString& name) const {
    const auto it = commands_.find(name);
    return it == commands_.end() ? nullptr : it->second;
}

void TFGUI::BuildCommands() {
    for (const CommandText& c : kCommands) AddCommand(c.name, Text(c.text))->setEnabled(c.hasCommand);
    command("actAdd")->setShortcut(QKeySequence("Ctrl+D"));
    command("actRename")->setShortcut(QKeySequence("Ctrl+R"));
    command("actCreateFolder")->setShortcut(QKeySequence(Qt::Key_Insert));
    command("actSelectAll")->setShortcut(QKeySequence("Ctrl+A"));
    connect(command("actExit"), &QAction::triggered, this, &QWidget::close);
}

void TFGUI::BuildMenus() {
    const auto add = [this](QMenu* menu, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (std::string_view(name) == "-") {
                menu->addSeparator();
            } else {
                menu->addAction(command(name));
            }
        }
    };
    add(menuBar()->addMenu(Text("文件(&F)")), {"actNew", "-", "actSaveIso", "-", "actExit"});
    add(menuBar()->addMenu(Text("编辑(&E)")), {"actAdd", "-", "actDelete", "actClear", "actRename", "-",
                                              "actCreateFolder", "actExtract", "-", "actSelectAll", "-",
                                              "actProperty"});
    add(menuBar()->addMenu(Text("磁盘(&D)")), {"actStartBurn", "actBurnIso", "-", "actImportSession", "-",
                                              "actErase", "-", "actEject", "actLoad"});
    QMenu* tools = menuBar()->addMenu(Text("工具(&T)"));
    add(tools, {"actBurnerInfo", "actSessionInfo", "-", "actPreferences"});
    QAction* hiddenUpgrade = tools->addAction(Text("升级"));
    hiddenUpgrade->setVisible(false);
    add(menuBar()->addMenu(Text("帮助(&H)")), {"actAbout"});
}

void TFGUI::BuildBand() {
    auto* row1 = addToolBar(Text("刻录"));
    row1->setObjectName("barBurner");
    row1->setMovable(false);
    lblBurner_ = new QLabel(Text("刻录"), this);
    lblBurner_->setObjectName("lblBurner");
    cboBurner_ = new QComboBox(this);
    cboBurner_->setObjectName("cboBurner");
    cboBurner_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* speeds = new SpeedComboBox(this);
    speeds->beforePopup = [this] { FillSpeedList(); };
    cboSpeed_ = speeds;
    cboSpeed_->setObjectName("cboSpeed");
    cboSpeed_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    lblTotalSpace_ = new QLabel("MB", this);
    lblTotalSpace_->setObjectName("lblTotalSpace");
    lblTotalSpace_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblTotalSpace_->setMinimumWidth(100);
    row1->addWidget(lblBurner_);
    row1->addWidget(cboBurner_);
    row1->addWidget(new QLabel(Text(" 速度 "), this));
    row1->addWidget(cboSpeed_);
    row1->addWidget(new QLabel(Text(" 空间大小: "), this));
    row1->addWidget(lblTotalSpace_);
    for (const auto& [caption, name] : {std::pair{"刻录信息.", "actBurnerInfo"}, {"段落信息.", "actSessionInfo"}}) {
        auto* button = new QToolButton(this);
        button->setText(Text(caption));
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, command(name), &QAction::trigger);
        row1->addWidget(button);
    }
    connect(cboBurner_, &QComboBox::activated, this, &TFGUI::RecorderChanged);
    connect(cboSpeed_, &QComboBox::activated, this, &TFGUI::RecorderChanged);

    addToolBarBreak();
    auto* row2 = addToolBar(Text("命令"));
    row2->setObjectName("barCommands");
    row2->setMovable(false);
    row2->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    row2->setIconSize(QSize(32, 32));
    for (const char* name : {"actNew", "actAdd", "actSaveIso", "-", "actStartBurn", "actBurnIso", "actAbort",
                             "actErase", "-", "actEject", "actLoad", "-", "actPreferences", "actAbout",
                             "actUpgrade"}) {
        if (std::string_view(name) == "-") {
            row2->addSeparator();
        } else {
            row2->addAction(command(name));
        }
    }
}

void TFGUI::BuildCompilationArea() {
    auto* area = new QWidget(this);
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* strip = new QHBoxLayout;
    strip->addWidget(new QLabel(Text("CD 目录:"), area));
    edtCDDir_ = new QLineEdit("\\", area);
    edtCDDir_->setObjectName("edtCDDir");
    edtCDDir_->setReadOnly(true);
    strip->addWidget(edtCDDir_, 1);
    // Kept from the original layout; it has no function.
    auto* keepPath = new QCheckBox(Text("保持路径信息. "), area);
    keepPath->setVisible(false);
    strip->addWidget(keepPath);
    layout->addLayout(strip);

    auto* splitter = new QSplitter(Qt::Horizontal, area);
    tvwISO_ = new QTreeWidget(splitter);
    tvwISO_->setObjectName("tvwISO");
    tvwISO_->setHeaderHidden(true);
    tvwISO_->setMinimumWidth(kTreeWidth);
    // Hidden, yet it holds the folders and the current one.
    tvwISO_->setVisible(false);
    lvwISORoot_ = new QListWidget(splitter);
    lvwISORoot_->setObjectName("lvwISORoot");
    lvwISORoot_->setViewMode(QListView::ListMode);
    lvwISORoot_->setFlow(QListView::TopToBottom);
    lvwISORoot_->setWrapping(true);
    lvwISORoot_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);
    setCentralWidget(area);
    for (QWidget* view : {static_cast<QWidget*>(tvwISO_), static_cast<QWidget*>(lvwISORoot_)}) {
        view->setAcceptDrops(true);
        qobject_cast<QAbstractItemView*>(view)->viewport()->setAcceptDrops(true);
        qobject_cast<QAbstractItemView*>(view)->viewport()->installEventFilter(this);
        qobject_cast<QAbstractItemView*>(view)->setEditTriggers(QAbstractItemView::EditKeyPressed);
    }

    ViewHooks hooks;
    hooks.message = [this](const QString& text) { ShowMessage(text); };
    hooks.askName = [this](const QString& caption, const QString& prompt) -> std::optional<QString> {
        if (environment_.askName) return environment_.askName(caption, prompt);
        bool ok = false;
        const QString answer = QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, QString(), &ok);
        if (!ok) return std::nullopt;
        return answer;
    };
    hooks.archiveFiles = [this] { return flags_.archiveFiles; };
    hooks.showTotalSize = [this] { ShowTotalSize(); };
    views_ = std::make_unique<CompilationViews>(*burner_, *tvwISO_, *lvwISORoot_, *edtCDDir_, std::move(hooks));
}

QMenu* TFGUI::ContextMenu(std::initializer_list<std::pair<const char*, const char*>> items) {
    auto* menu = new QMenu(this);
    for (const auto& [text, name] : items) {
        if (std::string_view(text) == "-") {
            menu->addSeparator();
            continue;
        }
        QAction* target = command(name);
        QAction* entry = menu->addAction(Text(text));
        entry->setEnabled(target->isEnabled());
        connect(entry, &QAction::triggered, target, &QAction::trigger);
        connect(target, &QAction::enabledChanged, entry, &QAction::setEnabled);
    }
    return menu;
}

void TFGUI::ConnectEditingCommands() {
    CompilationViews& v = *views_;
    connect(command("actNew"), &QAction::triggered, this, [&v] { v.New(); });
    connect(command("actAdd"), &QAction::triggered, this, &TFGUI::Add);
    connect(command("actDelete"), &QAction::triggered, this, [this, &v] { v.Delete(FocusedView()); });
    connect(command("actClear"), &QAction::triggered, this, [&v] { v.Clear(); });
    connect(command("actRename"), &QAction::triggered, this, [this, &v] { v.Rename(FocusedView()); });
    connect(command("actCreateFolder"), &QAction::triggered, this, [&v] { v.CreateFolder(); });
    connect(command("actSelectAll"), &QAction::triggered, this, [&v] { v.SelectAll(); });
    connect(command("actProperty"), &QAction::triggered, this, [this, &v] { v.Property(FocusedView()); });

    connect(command("actBurnerInfo"), &QAction::triggered, this, [this] { BurnerInfoDialog(*burner_, this).exec(); });
    connect(command("actSessionInfo"), &QAction::triggered, this, [this] {
        SessionInfoDialog dialog(*burner_, DialogHooks{}, this);
        dialog.exec();
        // The views would go on showing folders the compilation no longer holds.
        if (dialog.detailsOpened()) {
            views_->New();
            ShowTotalSize();
        }
    });
    connect(command("actAbout"), &QAction::triggered, this, [this] { AboutDialog(version_, this).exec(); });

    QMenu* treeMenu = ContextMenu({{"删除", "actDelete"}, {"清除", "actClear"}, {"重命名", "actRename"}, {"-", ""},
                                   {"增加", "actAdd"}, {"-", ""}, {"建立文件夹", "actCreateFolder"},
                                   {"提取文件", "actExtract"}, {"-", ""}, {"全部选择", "actSelectAll"}, {"-", ""},
                                   {"属性", "actProperty"}});
    QMenu* listMenu = ContextMenu({{"删除选择项", "actDelete"}, {"全部删除", "actClear"}, {"重命名", "actRename"},
                                   {"-", ""}, {"增加", "actAdd"}, {"-", ""}, {"建立文件夹", "actCreateFolder"},
                                   {"提取文件", "actExtract"}, {"-", ""}, {"全部选择", "actSelectAll"}, {"-", ""},
                                   {"属性", "actProperty"}});
    for (const auto& [view, menu] : {std::pair<QWidget*, QMenu*>{tvwISO_, treeMenu}, {lvwISORoot_, listMenu}}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, menu, [view, menu](const QPoint& at) {
            menu->popup(view->mapToGlobal(at));
        });
    }
}

void TFGUI::ConnectDiscCommands() {
    TvxCDBurner& b = *burner_;
    // The engine ends its jobs on its worker threads; the window reacts on its own.
    b.OnWriteDone = [this](TvxCDBurner&, const std::string& error) {
        QMetaObject::invokeMethod(this, [this, error] { WriteDone(error); }, Qt::QueuedConnection);
    };
    b.OnEraseDone = [this](TvxCDBurner&, bool withError) {
        QMetaObject::invokeMethod(this, [this, withError] { EraseDone(withError); }, Qt::QueuedConnection);
    };
    b.OnFinalizingTrack = [this](TvxCDBurner&) {
        QMetaObject::invokeMethod(this, [this] { Trace(">>> Completed"); }, Qt::QueuedConnection);
    };
    writer_ = std::make_unique<writing::DiscWriter>(b, writing::WriterOptions{.sleep = environment_.sleep});
    eraser_ = std::make_unique<writing::DiscEraser>(b, environment_.sleep);
    connect(&progressTimer_, &QTimer::timeout, this, &TFGUI::ProgressTick);
    const std::pair<const char*, void (TFGUI::*)()> commands[] = {
        {"actStartBurn", &TFGUI::StartBurn}, {"actBurnIso", &TFGUI::BurnIso}, {"actSaveIso", &TFGUI::SaveIso},
        {"actAbort", &TFGUI::Abort},         {"actErase", &TFGUI::Erase},     {"actEject", &TFGUI::Eject},
        {"actLoad", &TFGUI::Load}};
    for (const auto& [name, slot] : commands) connect(command(name), &QAction::triggered, this, slot);
    connect(command("actPreferences"), &QAction::triggered, this, [this] { Preferences().exec(); });
    command("actAbort")->setEnabled(false);
}

View TFGUI::FocusedView() const { return tvwISO_->hasFocus() ? View::Tree : View::List; }

void TFGUI::Add() {
    AddDialog dialog(*views_, this);
    dialog.exec();
}

void TFGUI::DropSources(const QStringList& paths, View onto, QTreeWidgetItem* under) {
    errorPosition_ = onto == View::Tree ? "Drag & Drop" : "Drag & Drop on ListView";
    QTreeWidgetItem* target = onto == View::Tree && under != nullptr ? under : views_->SelectedNode();
    if (!views_->IsFolderNode(target)) return;
    const BusyCursor busy;
    views_->bulkInsert = true;
    const std::string folder = NormalisedPath(views_->FolderPath(target));
    for (const QString& path : paths) {
        const QFileInfo info(path);
        QString native = info.absoluteFilePath();
        while (native.size() > 1 && native.endsWith('/')) native.chop(1);
        views_->AddSourceItem(target, folder, info.isDir(), ToGbk(native));
    }
    views_->ShowAdded(target);
    views_->bulkInsert = false;
}

bool TFGUI::eventFilter(QObject* watched, QEvent* event) {
    const bool onTree = watched == tvwISO_->viewport();
    if (!onTree && watched != lvwISORoot_->viewport()) return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!drag->mimeData()->hasUrls()) return false;
        drag->acceptProposedAction();
        return true;
    }
    if (event->type() != QEvent::Drop) return QMainWindow::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    QStringList paths;
    for (const QUrl& url : drop->mimeData()->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    QTreeWidgetItem* under = onTree ? tvwISO_->itemAt(drop->position().toPoint()) : nullptr;
    DropSources(paths, onTree ? View::Tree : View::List, under);
    drop->acceptProposedAction();
    return true;
}

void TFGUI::BuildStatusBar() {
    status_ = new QLabel(this);
    status_->setFixedWidth(kStatusTextWidth);
    const auto bar = [this](const char* name, int width, bool textShown) {
        auto* b = new QProgressBar(this);
        b->setObjectName(name);
        b->setFixedWidth(width);
        b->setTextVisible(textShown);
        b->setValue(0);
        return b;
    };
    dxbarProgress_ = bar("dxbarProgress", kProgressWidth, true);
    SetProgressCaption("Progress: ");
    dxpgrBuffer_ = bar("dxpgrBuffer", kBufferWidth, false);
    dxpgrBuffer_->setToolTip("Buffer");
    dxpgrHBuffer_ = bar("dxpgrHBuffer", kHostBufferWidth, false);
    dxpgrHBuffer_->setToolTip("HBuffer");
    statusBar()->addWidget(status_);
    statusBar()->addWidget(dxbarProgress_);
    statusBar()->addWidget(dxpgrBuffer_);
    statusBar()->addWidget(dxpgrHBuffer_);
}

void TFGUI::StartUp() {
    TvxCDBurner& b = *burner_;
    version_ = kVersion;
    errorPosition_ = Gbk(position::kCreate);
    errorPosition_ = Gbk(position::kAfterLoadFile);
    b.DebugMsg(">>> " + ToGbk(windowTitle()), 0);
    errorPosition_ = Gbk(position::kAfterDebugMsg);
    drive::InitializeDevices(b, true);
    if (!ASPIInitialized()) {
        ShowMessage(Text(kNoTransportMessage));
        return;
    }
    errorPosition_ = Gbk(position::kTransportReady);
    if (!b.DeviceList.empty()) {
        const QSignalBlocker quiet(cboBurner_);
        for (const std::string& line : b.DeviceList) cboBurner_->addItem(FromGbk(line));
        cboBurner_->setCurrentIndex(0);
        RecorderChanged();
    }
    errorPosition_ = Gbk(position::kDeviceStarted);
    errorPosition_ = Gbk(position::kAfterSpeedDropDown);
    const Settings settings = ReadSettings((environment_.folder / kSettingsFileName).string());
    errorPosition_ = Gbk(position::kAfterIniCreate);
    ApplySettings(settings, b, flags_);
    // An inserted folder keeps only its own name under the destination.
    b.StripSourcePath = true;
    errorPosition_ = Gbk(position::kAfterIniFree);
    b.DebugMsg(" ", 0);
    b.ClearAll(kMaxFiles, kMaxDirs);
    errorPosition_ = Gbk(position::kAfterClearAll);
    FillSpeedList();
    tvwISO_->setCurrentItem(tvwISO_->topLevelItem(0));
    views_->ShowFolder(tvwISO_->topLevelItem(0));
    ShowTotalSize();
}

void TFGUI::RecorderChanged() {
    TvxCDBurner& b = *burner_;
    drive::SelectDevice(b, ToGbk(cboBurner_->currentText()));
    cboBurner_->setToolTip(cboBurner_->currentText());
    const char letter = drive::FindDriveLetter(b);
    lblBurner_->setText(letter != '\0' ? QString("Burner %1:").arg(QChar(letter)) : QString("  Burner :"));
    const bool writes = (b.CapabilityFlags & kWritesADisc) != 0;
    for (const char* name : {"actStartBurn", "actBurnIso", "actErase"}) command(name)->setEnabled(writes);
}

void TFGUI::FillSpeedList() {
    const int selected = cboSpeed_->currentIndex();
    const QSignalBlocker quiet(cboSpeed_);
    cboSpeed_->clear();
    for (const std::string& label : SpeedLabels(*burner_)) cboSpeed_->addItem(QString::fromStdString(label));
    cboSpeed_->setCurrentIndex(selected >= 0 && selected < cboSpeed_->count() ? selected : 0);
}

uint16_t TFGUI::SelectedSpeed() {
    return ParseSpeedLabel(cboSpeed_->currentText().toStdString(), drive::MediaTypeCode(*burner_));
}

void TFGUI::ShowTotalSize() { lblTotalSpace_->setText(QString::fromStdString(SizeText(burner_->TotalSize()))); }

void TFGUI::LogError(const std::string& position, const std::string& message) {
    const std::string entry = ErrorLogEntry(LocalTimeText(), position, message);
    setWindowTitle(FromGbk(entry));
    // An entry that cannot be written is dropped: the caption still shows it.
    AppendErrorLog(environment_.folder / kLogFolder / kLogFile, entry);
}

void TFGUI::ShowMessage(const QString& text) {
    if (environment_.showMessage) {
        environment_.showMessage(text);
        return;
    }
    QMessageBox::information(this, windowTitle(), text);
}

void TFGUI::closeEvent(QCloseEvent* event) {
    if (busy_) {
        ShowMessage(Text(kBusyCloseMessage));
        event->ignore();
        return;
    }
    event->accept();
}

void TFGUI::PollUpgrade() {
    if (!upgrade_.IsDone()) return;
    // Stopped for good, also when the close is refused.
    upgradeTimer_.stop();
    close();
}

}  // namespace tavrin::app
