#pragma once

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

/// A modal open-file dialog configured the way classic common-dialog
/// components are: flags, title, initial directory, a "|"-separated filter
/// list of description/pattern pairs and a 1-based preselected filter. Built on
/// Qt's own file dialog so that it looks and behaves the same everywhere.
class CommonDialog {
public:
    /// Hide the read-only check box (Qt's dialog never shows one).
    static constexpr int kHideReadOnly = 0x4;
    /// Accept only names of files that exist.
    static constexpr int kFileMustExist = 0x1000;

    explicit CommonDialog(QWidget* parent = nullptr) : parent_(parent) {}

    void setFlags(int flags) { flags_ = flags; }
    void setDialogTitle(const QString& title) { title_ = title; }
    void setInitDir(const QString& dir) { initDir_ = dir; }
    /// Pairs of description and pattern, e.g. "Text (*.txt)|*.txt|All|*.*".
    void setFilter(const QString& filter) { filter_ = filter; }
    /// Which filter pair is selected when the dialog opens, counted from 1.
    void setFilterIndex(int index) { filterIndex_ = index; }

    /// Shows the dialog modally. Afterwards FileName() is the chosen file's
    /// full path, or unchanged (empty at first) after Cancel.
    void ShowOpen();
    QString FileName() const { return fileName_; }

    /// The Qt name filters for a filter list: each description is shown as
    /// written, and the pattern "*.*" means every file, names without a dot too.
    static QStringList NameFilters(const QString& filter);

private:
    void ShowColumnsWhole(QFileDialog& dialog);

    QWidget* parent_;
    int flags_ = 0;
    QString title_;
    QString initDir_;
    QString filter_;
    int filterIndex_ = 1;
    QString fileName_;
};
