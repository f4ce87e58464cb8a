#pragma once

#include <QByteArray>
#include <QStringList>

// `clipnest --import` while the program runs hands the files to the running
// copy, which imports them and answers how it went; both as a line of JSON.
namespace ImportRequest {

QByteArray requestJson(const QStringList &files);
QStringList filesOf(const QByteArray &request);

struct Answer
{
    int status = 2;    // the command's exit status
    QStringList lines; // the report, a line each
};
QByteArray answerJson(const Answer &answer);
Answer answerOf(const QByteArray &json);

} // namespace ImportRequest
