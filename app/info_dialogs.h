// What the recorder and the disc hold: Burner Info (what the recorder reads and
// writes, its top speeds), Session Info (the tracks of the disc with start and size,
// the free space, the medium and its sizes), the session browser (the folders and
// files of one session, with extraction) and the About box.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QDialog>

#include "engine/compilation/burner.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace tavrin::app {

// How the dialogs talk to the user; message boxes and input boxes when empty.
struct DialogHooks {
    std::function<void(const QString&)> message;
    std::function<std::optional<QString>(const QString& caption, const QString& prompt, const QString& text)> askText;
    // The folder every file of a session browser grid goes into; none: cancelled.
    std::function<std::optional<QString>()> askFolder;
};

class BurnerInfoDialog : public QDialog {
public:
    BurnerInfoDialog(const TSCSIDevice& device, QWidget* parent);
};

class AboutDialog : public QDialog {
public:
    AboutDialog(const std::string& version, QWidget* parent);
};

// The folders and files of the session imported into `burner`'s compilation.
class SessionBrowser : public QDialog {
public:
    SessionBrowser(TvxCDBurner& burner, DialogHooks hooks, QWidget* parent);

    void ShowFolder(QTreeWidgetItem* node);
    // A double click on a grid row: a folder is only named; a file is extracted to
    // the name asked for.
    void RowActivated(int row);
    // Every file of the grid into one folder asked for once, each under a name made
    // safe for the local file system.
    void ExtractAll();

    QTreeWidget* tree() const { return tree_; }
    QTableWidget* grid() const { return grid_; }
    QPushButton* strip() const { return strip_; }

private:
    PFileEntry RowEntry(int row) const;

    TvxCDBurner& burner_;
    DialogHooks hooks_;
    QTreeWidget* tree_;
    QTableWidget* grid_;
    QPushButton* strip_;
};

class SessionInfoDialog : public QDialog {
public:
    // Reads the session list of the disc in `device`'s recorder at once.
    SessionInfoDialog(TvxCDBurner& device, DialogHooks hooks, QWidget* parent);
    ~SessionInfoDialog() override;

    // The session of the selected line read into the compilation, in place of what
    // it held, and shown in the browser; none when there is nothing to show.
    SessionBrowser* OpenDetails();
    // The compilation was replaced by a session: the window's views must follow.
    bool detailsOpened() const { return detailsOpened_; }

    QListWidget* lines() const { return lines_; }
    QLabel* medium() const { return medium_; }
    QLabel* totalSpace() const { return totalSpace_; }
    QLabel* usedSpace() const { return usedSpace_; }

private:
    TvxCDBurner& device_;
    DialogHooks hooks_;
    QListWidget* lines_;
    QLabel* medium_;
    QLabel* totalSpace_;
    QLabel* usedSpace_;
    bool detailsOpened_ = false;
    std::unique_ptr<SessionBrowser> browser_;
};

}  // namespace tavrin::app
