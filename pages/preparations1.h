#pragma once

#include <QWizardPage>

namespace Ui {
class Preparations1;
}

// First preparation: open the panel with its button.
class Preparations1 : public QWizardPage
{
    Q_OBJECT

public:
    explicit Preparations1(QWidget *parent = nullptr);
    ~Preparations1() override;

private:
    Ui::Preparations1 *m_ui;
};
