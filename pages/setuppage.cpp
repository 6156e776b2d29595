#include "pages/setuppage.h"
#include "ui_setuppage.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QThread>
#include <QWindow>
#include <QWizard>

#include "firmware/deviceprofile.h"
#include "library/library.h"
#include "library/parser.h"
#include "pages/startfolder.h"

SetupPage::SetupPage(QWidget *parent)
    : MyWizardPage(parent)
    , m_ui(new Ui::SetupPage)
{
    m_ui->setupUi(this);
}

SetupPage::~SetupPage()
{
    abandonParse();
    delete m_ui;
}

void SetupPage::initializePage()
{
    library.setKeepAlive(true);

    // Clearing and filling move the current index, which writes "port" on
    // the way; the explicit write comes last.
    m_ui->comboBox->clear();
    m_ui->comboBox->addItems(library.deviceDescriptions());
    wizard()->setProperty("port", 0);

    emit completeChanged();
}

bool SetupPage::isComplete() const
{
    return complete;
}

void SetupPage::onBackButton()
{
    library.setKeepAlive(false);
    const QList<QString> ports = library.foundPorts();
    for (const QString &port : ports)
        library.closePort(port);
}

void SetupPage::revisit()
{
    library.setKeepAlive(true);
}

void SetupPage::on_comboBox_currentIndexChanged(int index)
{
    qDebug() << "SetupPage.on_comboBox_currentIndexChanged(): new device selected:" << index;
    if (wizard())
        wizard()->setProperty("port", index);
}

void SetupPage::on_qt_wizard_find_clicked()
{
    // Without a parent, so that where Qt draws the dialog itself it keeps the
    // platform's look instead of the wizard's style sheet (whose label rule
    // would squeeze its fields); it still stays above the wizard.
    QFileDialog dialog(nullptr, tr("Open Hex File"), hexFileStartFolder(), tr("Hex files (*.hex);; All files (*.*)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.winId();
    if (window()->windowHandle() && dialog.windowHandle())
        dialog.windowHandle()->setTransientParent(window()->windowHandle());
    QString path;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        path = dialog.selectedFiles().constFirst();
    // Backslashes on Windows; elsewhere a backslash may be part of a name,
    // so the path is shown as it is.
    m_ui->hexLineEdit->setText(QDir::toNativeSeparators(path));
    // A file chosen again is read again.
    parseField();
}

void SetupPage::on_hexLineEdit_editingFinished()
{
    // Enter and then leaving the field both end the editing: the second,
    // with the same text, must not parse again (it would disable Next under
    // the technician's click on it).
    if (m_ui->hexLineEdit->text() == m_parsedText && (m_parser || complete))
        return;
    parseField();
}

void SetupPage::parseField()
{
    m_parsedText = m_ui->hexLineEdit->text();
    complete = false;
    emit completeChanged();

    // Only the field's present text counts: a parse still waiting to run is
    // for a path the technician has since replaced.
    abandonParse();

    const QString text = m_ui->hexLineEdit->text();
    if (text.isEmpty()) {
        m_waitCursor.restore();
        return;
    }
    const QString path = QDir::fromNativeSeparators(text);
    m_waitCursor.show();
    qDebug() << "SetupPage::parser <-" << path;
    startParse(path);
}

void SetupPage::startParse(const QString &path)
{
    auto *thread = new QThread;
    auto *parser = new Parser(path, thread);
    m_parser = parser;
    connect(thread, &QThread::started, parser, &Parser::process);
    connect(parser, &Parser::finished, thread, &QThread::quit);
    connect(parser, &Parser::finished, this, &SetupPage::parseFinished);
    thread->start(QThread::InheritPriority);
}

void SetupPage::abandonParse()
{
    if (!m_parser)
        return;
    // The parse runs on this thread, so a parser that has not reported has
    // not begun either: deleting it drops its queued start, and its thread
    // ends with it without running anything.
    delete m_parser;
    m_parser = nullptr;
}

void SetupPage::parseFinished(QString filename, bool result)
{
    auto *reporter = qobject_cast<Parser *>(sender());
    if (reporter && reporter != m_parser) {
        qDebug() << "SetupPage: dropped the report of an earlier parse of" << filename;
        delete reporter;
        return;
    }
    delete m_parser;
    m_parser = nullptr;

    m_waitCursor.restore();
    m_ui->HEXCheckBox->setChecked(result);
    m_ui->HEXCheckBox->setToolTip(result ? QString() : refusal());
    if (!result)
        return;

    qDebug() << "SetupPage: hex file is :" << filename;
    wizard()->setProperty("hex", filename);
    complete = true;
    emit completeChanged();
}

QString SetupPage::refusal() const
{
    const qint64 at = library.loadFailureAt();
    switch (library.loadFailure()) {
    case FirmwareImage::Loaded:
        break;
    case FirmwareImage::Missing:
        return tr("Arquivo não encontrado ou ilegível.");
    case FirmwareImage::Damaged:
        return tr("Arquivo danificado na linha %1.").arg(at);
    case FirmwareImage::OutsideChip:
        return tr("Dados fora da memória do controlador (endereço 0x%1).").arg(at, 0, 16);
    case FirmwareImage::ProtectedPage:
        return tr("Dados na página protegida do bootloader (endereço 0x%1).").arg(at, 0, 16);
    case FirmwareImage::NothingToWrite:
        return tr("O arquivo não tem dados para gravar.");
    case FirmwareImage::NoResetVector:
        return tr("O arquivo não tem o salto de reset no endereço 0: a central não teria o que executar.");
    case FirmwareImage::OtherPart:
        return tr("Arquivo feito para outro PIC24: palavras de configuração de uma peça de %1 KB no endereço 0x%2.")
            .arg(DeviceProfile::smallerPartAt(at)).arg(at, 0, 16);
    case FirmwareImage::IsDirectory:
        return tr("É uma pasta, não um arquivo.");
    case FirmwareImage::TooLarge:
        return tr("Arquivo maior que 16 MiB.");
    case FirmwareImage::Silent:
        return tr("O arquivo não entregou dados a tempo.");
    }
    return QString();
}
