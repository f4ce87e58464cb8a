#pragma once

#include "updatecheck.h"

#include <QDialog>
#include <QImage>

#include <functional>
#include <memory>

struct AppContext;
class QLabel;
class QPushButton;

// The About box: the version line, the product's web site and the update check.
// Created hidden at start-up; closing it only hides it.
class TaboutForm : public QDialog
{
    Q_OBJECT

public:
    // The logo is read from the program folder; messages come from the context.
    explicit TaboutForm(AppContext &context, QWidget *parent = nullptr);
    ~TaboutForm() override;

    // Starts an update check against the site; a check still running is waited for first.
    void UpdBtnClick();
    void setUpdateSite(const QString &siteBase) { m_updateSite = siteBase; }
    // Shows the outcome of a check, on the interface thread; replaced by tests.
    std::function<void(const UpdateOutcome &outcome)> presentOutcome;

    int majorVersion() const { return m_major; }
    int minorVersion() const { return m_minor; }
    QString versionLine() const { return m_versionLine; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The texts follow the interface language, the colours the palette.
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QLabel *Image1 = nullptr;
    QLabel *JvInstallLabel1 = nullptr;
    QLabel *verLabel = nullptr;
    QPushButton *okBtn = nullptr;
    QPushButton *UpdBtn = nullptr;

    static constexpr int LogoBoxSize = 48;
    void showLogo();
    void showOutcome(const UpdateOutcome &outcome);
    void showTexts();
    void showVersionColour();

    AppContext &m_context;
    QString m_updateSite;
    std::unique_ptr<TTavloUpdateThread> m_check;
    QImage m_logo; // the logo file as read
    QString m_versionLine;
    int m_major = 0;
    int m_minor = 0;
};
