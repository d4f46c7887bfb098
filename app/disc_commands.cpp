// The main window's commands that use the recorder or make an image file, the
// progress display and the ends of the engine's jobs.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTreeWidget>

#include <fmt/format.h>

#include "app/busy_cursor.h"
#include "app/disc_layout_dialog.h"
#include "app/main_window.h"
#include "app/preferences_dialog.h"
#include "app/qt_text.h"
#include "app/size_text.h"
#include "engine/device/transport.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"
#include "engine/iso/layout.h"
#include "engine/writing/io_error.h"

namespace tavrin::app {
namespace {

constexpr int kProgressTickMs = 500;
constexpr int kFlushTimeoutMs = 300000;
constexpr std::size_t kImageNameBytes = 106;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

const QString kIdleCaption = "Progress: ";
const QString kBurningCaption = "Burning Progress: ";
const QString kSavingCaption = "Files Saving Progress: ";

// Megabytes of bytes as the status text writes them: "1,234.56".
std::string Megabytes(int64_t bytes) {
    const std::string text = SizeText(bytes);
    return text.substr(0, text.size() - 3);
}

// The commands that run only while the window is idle.
constexpr const char* kIdleCommands[] = {
    "actExit", "actStartBurn", "actBurnIso", "actSaveIso", "actNew", "actAdd", "actErase", "actEject", "actLoad",
    "actAbout", "actPreferences", "actSessionInfo", "actBurnerInfo", "actDelete", "actClear", "actCreateFolder",
    "actRename", "actProperty", "actSelectAll"};

}  // namespace

void TFGUI::SetIdle(bool idle) {
    for (const char* name : kIdleCommands) command(name)->setEnabled(idle);
    command("actAbort")->setEnabled(!idle);
    const std::initializer_list<QWidget*> controls{cboBurner_, cboSpeed_, tvwISO_, lvwISORoot_, edtCDDir_};
    for (QWidget* control : controls) control->setEnabled(idle);
    busy_ = !idle;
}

TfrmPreferences& TFGUI::Preferences() {
    if (preferences_ == nullptr) preferences_ = new TfrmPreferences(*burner_, this);
    return *preferences_;
}

void TFGUI::SetProgressCaption(const QString& caption) {
    progressCaption_ = caption;
    dxbarProgress_->setFormat(caption + "%p%");
}

void TFGUI::Trace(const std::string& text) { burner_->DebugMsg(text, 0); }

void TFGUI::ResetViews() { views_->ResetTree(); }

void TFGUI::StartBurn() {
    TvxCDBurner& b = *burner_;
    errorPosition_ = "before ReadBufferCapacity";
    b.JolietFileSystem = Preferences().Joliet();
    uint32_t length = 0, free = 0;
    drive::ReadBufferCapacity(b, length, free);
    dxpgrHBuffer_->setMaximum(static_cast<int>(std::min<uint32_t>(length, INT32_MAX)));
    if (cboSpeed_->currentIndex() < 0) cboSpeed_->setCurrentIndex(0);
    b.SetWriteSpeed(SelectedSpeed());
    QCoreApplication::processEvents();
    errorPosition_ = "before DirsCount";
    if (b.DirsCount() == 0 && b.FilesCount() == 0) {
        ShowMessage(Text("首先请选择文件或文件夹！"));
        return;
    }
    // What is shown is not looked at: the burn goes on.
    if (flags_.showFiles) TfrmDiscLayout(b, environment_.showMessage, this).exec();
    {
        const BusyCursor busy;
        errorPosition_ = "Before Prepare";
        ShowTotalSize();
        SetProgressCaption(kBurningCaption);
        iso::Prepare(b, false);
        // The bar measures the session, as it does for an image: left at its last
        // maximum it would stand at 100 % from the first blocks on.
        dxbarProgress_->setMaximum(static_cast<int>(std::max<uint64_t>(iso::ImageSizeBlocks(b), 1)));
    }
    progressTimer_.start(kProgressTickMs);
    Trace(">>> CD Burner " + b.DeviceName);
    SetIdle(false);
    errorPosition_ = "before BurnCD";
    writer_->BurnCD();
}

void TFGUI::BurnIso() {
    std::optional<QString> file;
    if (environment_.askImageFile) {
        file = environment_.askImageFile();
    } else {
        const QString chosen = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                            ".ISO Files (*.iso *.ISO);;All File (*)", nullptr,
                                                            QFileDialog::ReadOnly);
        if (!chosen.isEmpty()) file = chosen;
    }
    if (!file) return;
    TvxCDBurner& b = *burner_;
    const BusyCursor busy;
    b.JolietFileSystem = Preferences().Joliet();
    uint32_t length = 0, free = 0;
    drive::ReadBufferCapacity(b, length, free);
    dxpgrHBuffer_->setMaximum(static_cast<int>(std::min<uint32_t>(length, INT32_MAX)));
    SetIdle(false);
    SetProgressCaption(kBurningCaption);
    progressTimer_.start(kProgressTickMs);
    writer_->BurnISO(ToGbk(*file));
    dxbarProgress_->setMaximum(static_cast<int>(std::max<uint64_t>(iso::ImageSizeBlocks(b), 1)));
}

void TFGUI::SaveIso() {
    TvxCDBurner& b = *burner_;
    if (b.DirsCount() == 0 && b.FilesCount() == 0) {
        ShowMessage("Please add the file or directory first!");
        return;
    }
    iso::Prepare(b, true);
    std::optional<QString> answer;
    const QString caption = Text("另存为 ISO 文件"), prompt = Text("请给定文件名");
    if (environment_.askText) {
        answer = environment_.askText(caption, prompt, FromGbk(b.ISOFileName));
    } else {
        bool ok = false;
        const QString typed =
            QInputDialog::getText(this, caption, prompt, QLineEdit::Normal, FromGbk(b.ISOFileName), &ok);
        if (ok) answer = typed;
    }
    if (!answer || answer->trimmed().isEmpty()) return;
    std::string name = ToGbk(*answer);
    // A bare file name: no separator of either kind.
    if (name.find('\\') != std::string::npos || name.find('/') != std::string::npos) {
        ShowMessage("Invalid Name.");
        return;
    }
    name = name.substr(0, kImageNameBytes);
    if (name.find(".iso") == std::string::npos) name += ".iso";

    const BusyCursor busy;
    progressTimer_.start(kProgressTickMs);
    QCoreApplication::processEvents();
    SetIdle(false);
    const uint64_t blocks = iso::ImageSizeBlocks(b);
    dxbarProgress_->setMaximum(static_cast<int>(std::max<uint64_t>(blocks, 1)));
    lblTotalSpace_->setText(QString::fromStdString(SizeText(static_cast<int64_t>(blocks * kBlockBytes))));
    SetProgressCaption(kSavingCaption);
    b.JolietFileSystem = Preferences().Joliet();
    try {
        writer_->SaveISO(name, flags_.quickSaveISO);
    } catch (const IOError& e) {
        // A quick save that fails reports no end of its own: the window would stay
        // busy for good.
        WriteDone(e.what());
    }
}

void TFGUI::Abort() {
    writer_->AbortWrite();
    progressTimer_.stop();
    SetIdle(true);
    status_->clear();
    dxbarProgress_->setValue(0);
}

void TFGUI::Erase() {
    TvxCDBurner& b = *burner_;
    if (!drive::IsErasable(b) && drive::MediaTypeCode(b) != drive::media::kDVDRAM) {
        ShowMessage("This is not a rewritable CD!");
        return;
    }
    const QString title = Text("快速察除数据，确定?"), text = Text("察除数据");
    const bool yes = environment_.confirm
                         ? environment_.confirm(title, text)
                         : QMessageBox::warning(this, title, text, QMessageBox::Yes | QMessageBox::No,
                                                QMessageBox::No) == QMessageBox::Yes;
    if (!yes) return;
    progressTimer_.start(kProgressTickMs);
    if (cboSpeed_->currentIndex() < 0) cboSpeed_->setCurrentIndex(0);
    b.SetWriteSpeed(SelectedSpeed());
    const BusyCursor busy;
    SetIdle(false);
    eraser_->EraseDisc(writing::kQuickErase);
}

void TFGUI::EjectDisc() { drive::StartStopUnit(*burner_, true); }

void TFGUI::Eject() {
    TvxCDBurner& b = *burner_;
    drive::SynchronizeCache(b, kFlushTimeoutMs, false);
    drive::PreventAllowRemoval(b, true);
    Trace(drive::StartStopUnit(b, true) ? ">>> EJECT MEDIUM COMMAND DONE." : ">>> EJECT MEDIUM COMMAND FAILED.");
}

void TFGUI::Load() {
    if (drive::StartStopUnit(*burner_, false)) Trace(">>> LOAD MEDIUM COMMAND DONE.");
}

void TFGUI::ProgressTick() {
    if (eraser_->Erasing()) {
        dxbarProgress_->setMaximum(100);
        dxbarProgress_->setValue(eraser_->EraseProgress());
        return;
    }
    const TvxCDBurner& b = *burner_;
    const int64_t written = writer_->BytesWritten();
    const int64_t total = static_cast<int64_t>(iso::ImageSizeBlocks(b) * kBlockBytes);
    status_->setText(QString::fromStdString("Burned Data Size: " + Megabytes(written) + "/" + Megabytes(total) + " MB"));
    dxpgrBuffer_->setValue(writer_->CacheFillPercent());
    dxbarProgress_->setValue(static_cast<int>(std::min<int64_t>(written / static_cast<int64_t>(kBlockBytes),
                                                                dxbarProgress_->maximum())));
    const uint32_t size = b.DeviceBufferSize, free = b.DeviceFreeBufferSize;
    if (free <= size) dxpgrHBuffer_->setValue(static_cast<int>(std::min<uint32_t>(size - free, INT32_MAX)));
}

void TFGUI::WriteDone(const std::string& error) {
    TvxCDBurner& b = *burner_;
    // The writer reports a moment before its thread lets go of the drive and the
    // compilation.
    writer_->WaitDone();
    progressTimer_.stop();
    SetIdle(true);
    ProgressTick();
    const bool disc = progressCaption_ == kBurningCaption;
    if (error.empty() && disc && Preferences().EjectAfterBurn()) EjectDisc();
    // The archive bits go once the write succeeded, while the compilation still
    // names the files; a failed write clears nothing.
    if (error.empty() && flags_.archiveFiles) b.ResetArchiveAttributes();
    b.ClearAll(kMaxFiles, kMaxDirs);
    ResetViews();
    QApplication::beep();
    Trace(" ");
    if (!error.empty()) {
        Trace(">>> Burn error");
        Trace(">>> " + error);
        ShowMessage(disc ? Text("刻录失败!") + "\r\n" + Text("错误: ") + FromGbk(error)
                         : "Failed in Saving ISO file!\r\nError: " + FromGbk(error));
    } else {
        Trace(">>> Burn successful");
        ShowMessage(disc ? Text("刻录成功!") : Text("ISO文件，保存成功!"));
    }
    dxbarProgress_->setValue(0);
    dxpgrBuffer_->setValue(0);
    dxpgrHBuffer_->setValue(0);
    status_->clear();
    SetProgressCaption(kIdleCaption);
}

void TFGUI::EraseDone(bool withError) {
    // The drive is set back to its neutral state after the report.
    eraser_->WaitDone();
    Trace(withError ? ">>> Deletion error" : ">>> Deletion successful");
    progressTimer_.stop();
    SetIdle(true);
    if (!withError && Preferences().EjectAfterErase()) EjectDisc();
    dxbarProgress_->setValue(0);
    QApplication::beep();
    Trace(" ");
}

}  // namespace tavrin::app
