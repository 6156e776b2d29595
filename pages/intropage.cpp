#include "pages/intropage.h"
#include "ui_intropage.h"

#include <QTextCursor>
#include <QTextDocument>

#include "pages/contacts.h"

IntroPage::IntroPage(QWidget *parent)
    : QWizardPage(parent)
    , m_ui(new Ui::IntroPage)
{
    m_ui->setupUi(this);

    // The form's terms leave a slot for the support number; filling it in
    // through the document keeps the sentence's own formatting.
    QTextDocument *terms = m_ui->introTextBrowser->document();
    QTextCursor slot = terms->find(QStringLiteral("%1"));
    if (!slot.isNull())
        slot.insertText(QString::fromUtf8(SupportTelephone));

    // Mandatory: the wizard keeps Next disabled while the box is unticked.
    registerField(QStringLiteral("acceptance*"), m_ui->acceptanceCheckBox);
}

IntroPage::~IntroPage()
{
    delete m_ui;
}
