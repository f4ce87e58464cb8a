#include "importreport.h"

#include "appcontext.h"
#include "importsummary.h"
#include "messagetexts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

ImportReportDialog::ImportReportDialog(const EnexImportReport &report, const MessageTexts &texts, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ImportReportDialog"));
    setWindowTitle(texts.shown(QStringLiteral("ImportReportCaption")));
    auto *layout = new QVBoxLayout(this);
    SummaryLabel = new QLabel(importSummary(report, texts), this);
    SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
    SummaryLabel->setWordWrap(true);
    layout->addWidget(SummaryLabel);
    const QStringList lines = importProblemLines(report, texts);
    if (!lines.isEmpty()) {
        ProblemList = new QPlainTextEdit(lines.join(QLatin1Char('\n')), this);
        ProblemList->setObjectName(QStringLiteral("ProblemList"));
        ProblemList->setReadOnly(true);
        ProblemList->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(ProblemList);
        resize(640, 360);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}
