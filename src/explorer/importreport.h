#pragma once

#include "enexreport.h"

#include <QDialog>

class MessageTexts;
class QLabel;
class QPlainTextEdit;

// The window shown at the end of an import: the summary above the list of
// notes with problems.
class ImportReportDialog : public QDialog
{
    Q_OBJECT

public:
    ImportReportDialog(const EnexImportReport &report, const MessageTexts &texts, QWidget *parent = nullptr);

    QLabel *SummaryLabel = nullptr;
    QPlainTextEdit *ProblemList = nullptr;
};
