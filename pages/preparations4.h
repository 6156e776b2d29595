#pragma once

#include <QWizardPage>

namespace Ui {
class Preparations4;
}

// Fourth preparation: plug the panel's power in.
class Preparations4 : public QWizardPage
{
    Q_OBJECT

public:
    explicit Preparations4(QWidget *parent = nullptr);
    ~Preparations4() override;

private:
    Ui::Preparations4 *m_ui;
};
