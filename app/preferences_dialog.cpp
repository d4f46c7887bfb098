#include "app/preferences_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/qt_text.h"
#include "app/speed_list.h"
#include "engine/drive/device_selection.h"

namespace tavrin::app {
namespace {

constexpr int kTreeWidth = 200;
constexpr int kSmallestCacheMegabytes = 2, kLargestCacheMegabytes = 64, kDefaultCacheMegabytes = 4;
constexpr int32_t kBytesPerDecimalMegabyte = 1000000;
constexpr int kGeneralPage = 0, kDataWritePage = 2;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QCheckBox* Box(const char* caption, bool checked, QWidget* parent, QLayout* layout) {
    auto* box = new QCheckBox(Text(caption), parent);
    box->setChecked(checked);
    layout->addWidget(box);
    return box;
}

QString CacheText(int megabytes) { return QString(" %1 MBytes").arg(megabytes); }

constexpr const char* kValidTags[] = {
    "<#increment> = Increment value",
    "<#files> = Number of files",
    "<#directories> = Number of folders",
    "<#d> = Displays the day as a number without a leading zero (1-31)",
    "<#dd> = Displays the day as a number with a leading zero (01-31)",
    "<#ddd> = Displays the day as an abbreviation (Sun-Sat)",
    "<#dddd> = Displays the day as a full name (Sunday-Saturday)",
    "<#m> = Displays the month as a number without a leading zero (1-12)",
    "<#mm> = Displays the month as a number with a leading zero (01-12)",
    "<#mmm> = Displays the month as an abbreviation (Jan-Dec)",
    "<#mmmm> = Displays the month as a full name (January-December)",
    "<#yy> = Displays the year as a two-digit number (00-99)",
    "<#yyyy> = Displays the year as a four-digit number (0000-9999)",
    "<#h> = Displays the hour without a leading zero (0-23)",
    "<#hh> = Displays the hour with a leading zero (00-23)",
    "<#n> = Displays the minute without a leading zero (0-59)",
    "<#nn> = Displays the minute with a leading zero (00-59)",
    "<#s> = Displays the second without a leading zero (0-59)",
    "<#ss> = Displays the second with a leading zero (00-59)",
};

QString LetterText(TSCSIDevice& device) {
    const char letter = drive::FindDriveLetter(device);
    return letter != '\0' ? QString(QChar(letter)) + ": " : QString(": ");
}

}  // namespace

TfrmPreferences::TfrmPreferences(TvxCDBurner& burner, QWidget* parent)
    : QDialog(parent), burner_(burner), pages_(new QTreeWidget(this)), stack_(new QStackedWidget(this)) {
    setObjectName("frmPreferences");
    setWindowTitle(Text("参数设置"));
    pages_->setHeaderHidden(true);
    pages_->setFixedWidth(kTreeWidth);
    const char* nodes[] = {"General", "Language", "DATA - CD/DVD Writer Setting", "DATA Volume Name/Info",
                           "AUDIO - CD Writer Setting", "AUDIO Volume Name/Info", "Warning Messages"};
    for (const char* node : nodes) pages_->addTopLevelItem(new QTreeWidgetItem(QStringList{node}));
    stack_->addWidget(GeneralPage());
    stack_->addWidget(new QWidget(this));
    stack_->addWidget(DataWritePage());
    stack_->addWidget(VolumePage());
    stack_->addWidget(new QWidget(this));
    stack_->addWidget(new QWidget(this));
    auto* warnings = new QListWidget(this);
    auto* warning = new QListWidgetItem("   Burn DATA?     Total size =", warnings);
    warning->setFlags(warning->flags() | Qt::ItemIsUserCheckable);
    warning->setCheckState(Qt::Unchecked);
    stack_->addWidget(warnings);
    connect(pages_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* node) { ChoosePage(pages_->indexOfTopLevelItem(node)); });

    auto* ok = new QPushButton(Text("确定"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(Text("取消"), this);
    auto* apply = new QPushButton(Text("应用"), this);
    apply->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &TfrmPreferences::Ok);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);  // Esc too
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(apply);
    auto* body = new QHBoxLayout;
    body->addWidget(pages_);
    body->addWidget(stack_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    layout->addWidget(new QStatusBar(this));
    pages_->setCurrentItem(pages_->topLevelItem(kGeneralPage));
}

QWidget* TfrmPreferences::GeneralPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    Box("优先使用内建 ASPI ", true, page, layout);
    lblBurner_ = new QLabel(Text("刻录"), page);
    lblBurner_->setObjectName("lblBurner");
    layout->addWidget(lblBurner_);
    generalRecorders_ = new QComboBox(page);
    layout->addWidget(generalRecorders_);
    Box("快速察除", true, page, layout);
    chkEjectErase_ = Box("察除后弹出光驱", true, page, layout);
    chkEjectErase_->setObjectName("chkEjectErase");
    Box("在编辑时显示文件夹尺寸", false, page, layout);
    Box("禁止 CDROM 自动播放", true, page, layout);
    layout->addStretch(1);
    return page;
}

QWidget* TfrmPreferences::DataWritePage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    dataBurner_ = new QLabel(page);
    dataLetter_ = new QLabel(page);
    form->addRow(Text("刻录"), dataBurner_);
    form->addRow("Letter", dataLetter_);
    layout->addLayout(form);
    Box("Underrun Protection / Burnproof", true, page, layout);
    dataSpeeds_ = new QComboBox(page);
    auto* speedRow = new QFormLayout;
    speedRow->addRow(Text("刻录"), dataSpeeds_);
    layout->addLayout(speedRow);
    Box("Perform OPC (monitoring and maintaining the quality of the disc writing)", true, page, layout);
    Box("关闭刻录光盘（不可以再追加刻录）", true, page, layout);
    chkEjectBurn_ = Box("刻录完成后弹出光驱", true, page, layout);
    chkEjectBurn_->setObjectName("chkEjectBurn");
    chkJoliet_ = Box("Joliet 文件系统", true, page, layout);
    chkJoliet_->setObjectName("chkJoliet");
    Box("数据校验", false, page, layout);
    auto* cache = new QHBoxLayout;
    cache->addWidget(new QLabel(Text("磁盘缓存大小"), page));
    tkbCacheSize_ = new QSlider(Qt::Horizontal, page);
    tkbCacheSize_->setObjectName("tkbCacheSize");
    tkbCacheSize_->setRange(kSmallestCacheMegabytes, kLargestCacheMegabytes);
    tkbCacheSize_->setValue(kDefaultCacheMegabytes);
    lblCacheSize_ = new QLabel(CacheText(kDefaultCacheMegabytes), page);
    lblCacheSize_->setObjectName("lblCacheSize");
    connect(tkbCacheSize_, &QSlider::valueChanged, this, [this](int mb) { lblCacheSize_->setText(CacheText(mb)); });
    cache->addWidget(tkbCacheSize_, 1);
    cache->addWidget(lblCacheSize_);
    layout->addLayout(cache);
    layout->addStretch(1);
    return page;
}

QWidget* TfrmPreferences::VolumePage() {
    auto* tabs = new QTabWidget(this);
    auto* name = new QWidget(tabs);
    auto* nameForm = new QFormLayout(name);
    nameForm->addRow("Volume Name (max 32 character)", new QLineEdit(name));
    auto* increment = new QSpinBox(name);
    increment->setValue(1);
    nameForm->addRow("Increment Value", increment);
    auto* tags = new QListWidget(name);
    for (const char* tag : kValidTags) tags->addItem(tag);
    nameForm->addRow("Valid tags", tags);
    tabs->addTab(name, "Name");
    auto* info = new QWidget(tabs);
    auto* infoForm = new QFormLayout(info);
    for (const char* label : {"System Identifier", "Volume Set", "Publisher", "Date Preparer", "Copyright File",
                              "Abstract File", "Bibliographic File"}) {
        infoForm->addRow(label, new QLineEdit(info));
    }
    tabs->addTab(info, "Info");
    return tabs;
}

void TfrmPreferences::FillGeneral() {
    if (generalFilled_) return;
    generalFilled_ = true;
    if (burner_.DeviceList.empty()) return;
    for (const std::string& line : burner_.DeviceList) generalRecorders_->addItem(FromGbk(line));
    generalRecorders_->setCurrentIndex(0);
    lblBurner_->setText("Burner " + LetterText(burner_));
}

void TfrmPreferences::FillDataWrite() {
    FillGeneral();
    if (dataFilled_) return;
    dataFilled_ = true;
    if (burner_.DeviceList.empty()) return;
    dataBurner_->setText(generalRecorders_->currentText());
    dataLetter_->setText(LetterText(burner_));
    // Built as the main window's list is: the drive is left at factor 1.
    for (const std::string& label : SpeedLabels(burner_)) dataSpeeds_->addItem(QString::fromStdString(label));
    dataSpeeds_->setCurrentIndex(0);
}

void TfrmPreferences::ChoosePage(int position) {
    if (position < 0) return;
    stack_->setCurrentIndex(position);
    if (position == kGeneralPage) FillGeneral();
    if (position == kDataWritePage) FillDataWrite();
}

void TfrmPreferences::Ok() {
    burner_.SetCacheSize(tkbCacheSize_->value() * kBytesPerDecimalMegabyte);
    hide();
    accept();
}

bool TfrmPreferences::Joliet() const { return chkJoliet_->isChecked(); }
bool TfrmPreferences::EjectAfterBurn() const { return chkEjectBurn_->isChecked(); }
bool TfrmPreferences::EjectAfterErase() const { return chkEjectErase_->isChecked(); }

}  // namespace tavrin::app
