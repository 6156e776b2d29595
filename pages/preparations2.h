#pragma once

#include <QWizardPage>

namespace Ui {
class Preparations2;
}

// Second preparation: place the jumper on the board.
class Preparations2 : public QWizardPage
{
    Q_OBJECT

public:
    explicit Preparations2(QWidget *parent = nullptr);
    ~Preparations2() override;

private:
    Ui::Preparations2 *m_ui;
};
