#include "common_dialog.h"

#include <QFileDialog>

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

void CommonDialog::ShowOpen() {
    QFileDialog dialog(parent_, title_, initDir_);
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
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        fileName_ = dialog.selectedFiles().first();
}
