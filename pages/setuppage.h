#pragma once

#include <QString>

#include "app/mywizardpage.h"
#include "pages/waitcursor.h"

class Parser;

namespace Ui {
class SetupPage;
}

// The choice of the found panel and of the firmware file. The file is
// parsed into the library as soon as it is chosen, and Next is enabled only
// once it parsed. The form's widgets are connected to "on_" slots by name.
class SetupPage : public MyWizardPage
{
    Q_OBJECT

public:
    explicit SetupPage(QWidget *parent = nullptr);
    ~SetupPage() override;

    void initializePage() override;
    bool isComplete() const override;

public slots:
    void onBackButton() override;
    void revisit() override;

private slots:
    void on_qt_wizard_find_clicked();
    void on_hexLineEdit_editingFinished();
    void on_comboBox_currentIndexChanged(int index);
    void parseFinished(QString filename, bool result);

private:
    void parseField();
    void startParse(const QString &path);
    QString refusal() const;
    void abandonParse();

    Ui::SetupPage *m_ui;
    bool complete = false;
    Parser *m_parser = nullptr;  // the parse whose report counts; null once it reported
    QString m_parsedText;        // the field's text the last parse was started for
    WaitCursor m_waitCursor;
};
