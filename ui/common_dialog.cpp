#include "common_dialog.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTreeView>

QStringList CommonDialog::NameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == u"*.*")
                pattern = QStringLiteral("*");
        }
        // Qt reads the patterns from the last parentheses and, with the
        // details hidden, shows only what stands before them.
        filters << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

// Qt's default size cuts the Size, Type and Date columns short ("417...tes").
// The dialog opens wide enough for whole values, within the screen, and each
// column takes the width of its contents once the folder has been read.
void CommonDialog::ShowColumnsWhole(QFileDialog& dialog) {
    QSize size(820, 460);
    if (const QScreen* screen = parent_ ? parent_->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    dialog.resize(size);
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* model = dialog.findChild<QFileSystemModel*>();
    if (view == nullptr || model == nullptr)
        return;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
        for (int column = 1; column < view->header()->count(); ++column)
            view->resizeColumnToContents(column);
    });
}

namespace {

// The Type column names program files as what they are here, not as the
// desktop's MIME database has it (.ram is a RealMedia playlist there).
class ProgramFileTypes : public QFileIconProvider {
public:
    QString type(const QFileInfo& info) const override {
        if (info.isFile() && info.suffix().compare(u"ram", Qt::CaseInsensitive) == 0)
            return QStringLiteral("Wren program");
        return QFileIconProvider::type(info);
    }
};

} // namespace

void CommonDialog::ShowOpen() {
    QFileDialog dialog(parent_, title_, initDir_);
    ProgramFileTypes types;
    dialog.setIconProvider(&types);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode((flags_ & kFileMustExist) ? QFileDialog::ExistingFile
                                                 : QFileDialog::AnyFile);
    const QStringList filters = NameFilters(filter_);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.value(filterIndex_ - 1, filters.first()));
    }
    ShowColumnsWhole(dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        fileName_ = dialog.selectedFiles().first();
}
