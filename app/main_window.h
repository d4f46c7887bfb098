// The main window: the application's one burner component for the whole run, the
// top band with the recorder and speed lists, the tool bar, the compilation as a
// folder tree and a list, the status bar with the progress and buffer bars; and
// its housekeeping: the start-up sequence, the settings file, the error log, the
// refusal to close while busy and the upgrade poll.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QMainWindow>
#include <QTimer>

#include "app/compilation_views.h"
#include "app/settings.h"
#include "app/upgrade_poll.h"
#include "engine/compilation/burner.h"
#include "engine/drive/wait_ready.h"
#include "engine/writing/disc_writer.h"
#include "engine/writing/erase.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QTreeWidget;

namespace tavrin::app {

class SpeedComboBox;
class TfrmPreferences;

struct WindowEnvironment {
    // The program's folder: vxcb.ini, Log/Log.txt and libautoupgrade.so are there.
    std::filesystem::path folder;
    // Shows a message to the user; a message box when empty.
    std::function<void(const QString&)> showMessage;
    // Asks for a name (Create Folder); an input box when empty. None: cancelled.
    std::function<std::optional<QString>(const QString& caption, const QString& prompt)> askName;
    // Asks for a text with an initial value (Save ISO's file name); none: cancelled.
    std::function<std::optional<QString>(const QString& caption, const QString& prompt, const QString& text)> askText;
    // The image file Burn ISO writes; an open-file dialog when empty.
    std::function<std::optional<QString>()> askImageFile;
    // A yes/no question (Erase); a warning box when empty.
    std::function<bool(const QString& title, const QString& text)> confirm;
    // Every wait of the writers and of the eraser for the drive.
    drive::SleepFn sleep = drive::SleepMs;
};

// The program's folder as the window wants it; the current folder when the
// program's own path cannot be read.
std::filesystem::path ProgramFolder();

class TFGUI : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kMaxFiles = 600000;
    static constexpr int kMaxDirs = 20000;

    explicit TFGUI(WindowEnvironment environment, QWidget* parent = nullptr);
    ~TFGUI() override;

    // The window's creation handler: transport, recorders, settings, compilation,
    // speed list, in that order; it ends early when no transport starts.
    void StartUp();

    // One entry in Log/Log.txt, and the window's caption. GBK texts.
    void LogError(const std::string& position, const std::string& message);
    // The position of every error-log entry: the last step reached. GBK.
    const std::string& ErrorPosition() const { return errorPosition_; }
    void SetErrorPosition(const std::string& gbk) { errorPosition_ = gbk; }

    // Switches between idle and busy; a busy window refuses to close.
    void SetIdle(bool idle);
    bool Busy() const { return busy_; }

    // The recorder list's (and the speed list's) change: selects the recorder,
    // names its drive letter and enables the writing commands it can serve.
    void RecorderChanged();
    // Rebuilds the speed list from what the drive takes, keeping the selection.
    void FillSpeedList();
    // The selected speed as the engine's factor (0: maximum).
    uint16_t SelectedSpeed();

    // Shows the compilation's total size in the band.
    void ShowTotalSize();

    // The commands that use the recorder or make an image. Each returns once the
    // engine's worker runs; the end comes through WriteDone or EraseDone.
    void StartBurn();
    void BurnIso();
    void SaveIso();
    void Abort();
    void Erase();
    void Eject();
    void Load();
    // The preferences, created hidden on first need.
    TfrmPreferences& Preferences();
    // The progress timer's step: the status text and the three bars.
    void ProgressTick();
    // The ends of a write or image save and of an erase, on the window's thread.
    void WriteDone(const std::string& error);
    void EraseDone(bool withError);
    // The running job's progress caption: "Burning Progress: " for a disc write.
    const QString& progressCaption() const { return progressCaption_; }
    QLabel* statusText() const { return status_; }

    TvxCDBurner& burner() { return *burner_; }
    const WindowFlags& flags() const { return flags_; }
    const std::string& versionText() const { return version_; }
    // The window's commands by their object names ("actStartBurn", ...).
    QAction* command(const QString& name) const;
    CompilationViews& views() { return *views_; }
    // The view the editing commands act on: the tree when it has the focus.
    View FocusedView() const;
    // Opens the Add dialog; it adds into the folder selected in the tree.
    void Add();
    // Files and folders dropped from the file manager go into the folder under the
    // drop point (the tree) or the selected folder (the list). Native paths.
    void DropSources(const QStringList& paths, View onto, QTreeWidgetItem* under);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ConfigureBurner();
    void BuildCommands();
    void BuildMenus();
    void BuildBand();
    void BuildCompilationArea();
    void BuildStatusBar();
    void ConnectEditingCommands();
    void ConnectDiscCommands();
    QMenu* ContextMenu(std::initializer_list<std::pair<const char*, const char*>> items);
    QAction* AddCommand(const char* name, const QString& text);
    void ShowMessage(const QString& text);
    void PollUpgrade();
    void SetProgressCaption(const QString& caption);
    void ResetViews();
    void Trace(const std::string& text);
    void EjectDisc();

    WindowEnvironment environment_;
    std::unique_ptr<TvxCDBurner> burner_;
    WindowFlags flags_;
    std::string version_;
    std::string errorPosition_;
    bool busy_ = false;

    std::map<QString, QAction*> commands_;
    QLabel* lblBurner_ = nullptr;
    QComboBox* cboBurner_ = nullptr;
    QComboBox* cboSpeed_ = nullptr;
    QLabel* lblTotalSpace_ = nullptr;
    QLineEdit* edtCDDir_ = nullptr;
    QTreeWidget* tvwISO_ = nullptr;
    QListWidget* lvwISORoot_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* dxbarProgress_ = nullptr;
    QProgressBar* dxpgrBuffer_ = nullptr;
    QProgressBar* dxpgrHBuffer_ = nullptr;

    std::unique_ptr<CompilationViews> views_;
    TfrmPreferences* preferences_ = nullptr;
    QString progressCaption_;
    QTimer progressTimer_;
    UpgradeCheck upgrade_;
    QTimer upgradeTimer_;
    // Declared last: destroyed first, they wait for a running job while the
    // window still stands.
    std::unique_ptr<writing::DiscEraser> eraser_;
    std::unique_ptr<writing::DiscWriter> writer_;
};

}  // namespace tavrin::app
