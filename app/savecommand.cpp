#include "savecommand.h"

#include "answer.h"
#include "filename.h"
#include "playercontrols.h"
#include "playerwidget.h"
#include "progresstext.h"
#include "texts.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace velmora {

namespace {

constexpr char kFolderKey[] = "save/folder";

} // namespace

SaveCommand::SaveCommand(QWidget *window, PlayerWidget *player, const ResolveOptions &resolver,
                         QObject *parent)
    : QObject(parent), m_window(window), m_player(player), m_resolver(resolver)
{
    connect(player->controls(), &PlayerControls::save, this, &SaveCommand::run);
    connect(player->controls(), &PlayerControls::cancelSave, this, &SaveCommand::cancel);
}

void SaveCommand::run()
{
    if (m_save || m_player->url().isEmpty())
        return;
    const QString name = trackFileName(m_player->track().name, m_player->track().id) + u'.' +
                         savedFileExtension(audioExtension(QUrl(m_player->url())));
    QString folder = QSettings()
                         .value(QLatin1String(kFolderKey),
                                QStandardPaths::writableLocation(QStandardPaths::MusicLocation))
                         .toString();
    if (!QFileInfo(folder).isDir()) // no music folder, or the last one is gone
        folder = QDir::homePath();
    // Opened, not exec()'d; it asks before replacing a file.
    auto *dialog = new QFileDialog(m_window, texts::kSave.toString(), QDir(folder).filePath(name));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, &SaveCommand::start);
    dialog->open();
}

void SaveCommand::start(const QString &file)
{
    QSettings().setValue(QLatin1String(kFolderKey), QFileInfo(file).absolutePath());
    m_savingName = m_player->track().name; // another track may play by its end
    SaveOptions options;
    options.overwrite = true; // the dialog asked
    options.resolver = m_resolver;
    m_save = new AudioSave(
        m_network, m_player->url(), m_player->track().id, [file](const QString &) { return file; },
        options, this);
    PlayerControls *controls = m_player->controls();
    controls->setSaving(true);
    m_player->setNotice(texts::kSaving.toString());
    // Once a try failed, every line says which one this is.
    m_try.clear();
    connect(m_save, &AudioSave::progress, this, [this](qint64 saved, qint64 total) {
        m_player->setNotice(texts::kSaving.toString() + u' ' + saveProgressText(saved, total) +
                            m_try);
    });
    connect(m_save, &AudioSave::retrying, this,
            [this](int attempt, int attempts, const QString &cause) {
                m_try = texts::saveTry(attempt, attempts);
                m_player->setNotice(texts::kSaveWaiting.toString() + m_try, cause);
            });
    connect(m_save, &AudioSave::finished, this, &SaveCommand::onFinished);
}

void SaveCommand::cancel()
{
    if (!m_save)
        return;
    delete m_save; // keeps the part file for a later save of the same file
    m_player->controls()->setSaving(false);
    m_player->setPassingNotice(texts::kSaveCanceled.toString());
}

void SaveCommand::onFinished(const SaveResult &result)
{
    m_save.clear(); // it deletes itself later; a new save may start at once
    m_player->controls()->setSaving(false);
    if (result.ok())
        m_player->setPassingNotice(texts::kSaved.toString() + QFileInfo(result.file).fileName(),
                                   result.file);
    else
        m_player->setPassingNotice(texts::saveFailed(m_savingName, result.error), result.file);
    emit finished(result);
}

} // namespace velmora
