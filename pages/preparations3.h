#pragma once

#include <QWizardPage>

namespace Ui {
class Preparations3;
}

// Third preparation: plug the USB cable in.
class Preparations3 : public QWizardPage
{
    Q_OBJECT

public:
    explicit Preparations3(QWidget *parent = nullptr);
    ~Preparations3() override;

private:
    Ui::Preparations3 *m_ui;
};
