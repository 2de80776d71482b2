#include "runner.h"

#include "causes.h"
#include "controlchars.h"
#include "filename.h"
#include "messages.h"
#include "request.h"
#include "save.h"
#include "streams.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <iostream>
#include <limits>
#include <vector>

namespace velmora::cli {

namespace {

// Lines of standard input read ahead of the printing: enough to keep every
// slot of -j busy.
constexpr int kLinesAhead = 256;
static_assert(kLinesAhead >= 4 * kMaxJobs);

Outcome outcomeOf(const Resolution &resolution)
{
    Outcome outcome;
    outcome.name = resolution.trackName;
    switch (resolution.outcome) {
    case Resolution::Outcome::Play:
        outcome.url = resolution.songUrl;
        // A script hands the address to a downloader, which may as well
        // read a local file: only web addresses count as resolved.
        if (playableUrl(resolution)) {
            outcome.status = Resolved;
        } else {
            outcome.status = RequestFailed;
            outcome.error =
                messages::kRequestFailed.toString().arg(causes::text(causes::kNotWebAddress));
        }
        break;
    case Resolution::Outcome::NotFound:
        outcome.status = TrackUnknown;
        outcome.error = messages::kTrackNotFound.toString();
        break;
    case Resolution::Outcome::RequestError:
        outcome.status = RequestFailed;
        outcome.error = messages::kRequestFailed.toString().arg(
            resolution.error.isEmpty() ? messages::kNoUsableAnswer.toString() : resolution.error);
        break;
    }
    return outcome;
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

void writeLine(std::FILE *stream, const QByteArray &line)
{
    writeText(stream, line + '\n');
}

ProgressLine::Mode progressMode(const Options &options, std::FILE *err)
{
    if (!options.output)
        return ProgressLine::Mode::Off;
    if (options.progress)
        return ProgressLine::Mode::Plain;
    return isTerminal(err) ? ProgressLine::Mode::Terminal : ProgressLine::Mode::Off;
}

// The template's fields filled in: {name}, {id} and {ext}.
QString expandTemplate(QString pattern, const QString &name, const QString &id,
                       const QString &extension)
{
    return pattern.replace(QLatin1String("{name}"), name)
        .replace(QLatin1String("{id}"), id)
        .replace(QLatin1String("{ext}"), extension);
}

} // namespace

Runner::Runner(const Options &options, std::FILE *out, std::FILE *err, QObject *parent)
    : QObject(parent), m_options(options), m_out(out), m_err(err), m_manager(this),
      m_room(kLinesAhead), m_progress(err, progressMode(options, err))
{}

Runner::~Runner()
{
    // The reader ends with standard input, and a run ends only after that;
    // this wait is for an owner that gives up early.
    if (m_reader) {
        m_room.release(1 << 20);
        m_reader->wait();
    }
}

void Runner::start(const QStringList &sources)
{
    m_sources = sources;
    takeSources();
}

void Runner::takeSources()
{
    while (m_nextSource < m_sources.size()) {
        const QString &source = m_sources.at(m_nextSource++);
        if (source == QLatin1String("-")) {
            readStandardInput();
            return; // resumes when standard input ends
        }
        add(source);
    }
    m_inputEnded = true;
    launch();
}

void Runner::readStandardInput()
{
    // Nothing else reads it, nor writes through C++ streams: their own buffer
    // spares a call into C's stdio for every character.
    std::ios::sync_with_stdio(false);
    m_reader = QThread::create([this] {
        // One line at most kMaxInputBytes long; of a longer one the rest is
        // skipped, not kept, and the next line read as usual.
        std::vector<char> line(kMaxInputBytes + 1);
        for (;;) {
            std::cin.getline(line.data(), std::streamsize(line.size()));
            // gcount() counts the newline too, where there was one.
            const bool tooLong = std::cin.fail() && std::cin.gcount() == kMaxInputBytes;
            const auto bytes = std::cin.gcount() - (tooLong || std::cin.eof() ? 0 : 1);
            if (tooLong) {
                std::cin.clear();
                std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
            } else if (std::cin.fail()) {
                break; // the end
            }
            const QString input = QString::fromUtf8(line.data(), qsizetype(bytes)).trimmed();
            if (input.isEmpty())
                continue;
            m_room.acquire();
            QMetaObject::invokeMethod(
                this,
                [this, input, tooLong] {
                    add(input, true, tooLong);
                    launch();
                },
                Qt::QueuedConnection);
        }
    });
    m_reader->setParent(this);
    // Queued behind the lines the thread has posted.
    connect(m_reader, &QThread::finished, this, [this] {
        m_reader->wait();
        delete m_reader;
        m_reader = nullptr;
        takeSources();
    });
    m_reader->start();
}

void Runner::add(const QString &input, bool fromStandardInput, bool tooLong)
{
    if (tooLong || input.toUtf8().size() > kMaxInputBytes) {
        Item item{input.left(kShownOfLongInput) + QStringLiteral("..."),
                  {},
                  Outcome(),
                  fromStandardInput};
        item.outcome->status = NoPlayPage;
        item.outcome->error = messages::kInputTooLong.toString().arg(kMaxInputBytes);
        m_items.push_back(std::move(item));
        return;
    }
    const std::optional<QString> trackId = usableTrackId(input);
    Item item{input, trackId.value_or(QString()), std::nullopt, fromStandardInput};
    if (!trackId) {
        item.outcome = Outcome();
        item.outcome->status = NoPlayPage;
        item.outcome->error = messages::kNoPlayPage.toString();
    }
    m_items.push_back(std::move(item));
}

void Runner::launch()
{
    const qsizetype end = m_printed + qsizetype(m_items.size());
    while (m_inFlight < m_options.jobs && m_nextToStart < end) {
        const qsizetype index = m_nextToStart++;
        const Item &item = m_items.at(size_t(index - m_printed));
        if (item.outcome)
            continue; // decided without a request
        auto *resolve = new TrackResolve(m_manager, item.trackId, m_options.resolve, this);
        connect(resolve, &TrackResolve::finished, this,
                [this, index](const Resolution &resolution) {
                    const Outcome outcome = outcomeOf(resolution);
                    if (outcome.status == Resolved && m_options.output)
                        return save(index, outcome);
                    --m_inFlight;
                    settle(index, outcome);
                });
        ++m_inFlight;
    }
    flush();
    finishWhenDone();
}

void Runner::settle(qsizetype index, const Outcome &outcome)
{
    m_items.at(size_t(index - m_printed)).outcome = outcome;
    launch();
}

void Runner::save(qsizetype index, const Outcome &resolved)
{
    const QString id = m_items.at(size_t(index - m_printed)).trackId;
    const QString name = trackFileName(resolved.name, id);
    const auto target = [pattern = *m_options.output, name, id](const QString &extension) {
        return expandTemplate(pattern, name, id, extension);
    };
    auto *save = new AudioSave(m_manager, resolved.url, id, target, m_options.save, this);
    m_saving[save] = {};
    connect(save, &AudioSave::progress, this,
            [this, save](qint64 saved, qint64 total, qint64 received) {
                Figures &figures = m_saving[save];
                m_received += received - figures.received;
                figures = {saved, total, received};
                showProgress();
            });
    connect(save, &AudioSave::finished, this,
            [this, index, resolved, save](const SaveResult &result) {
                m_saving.erase(save);
                --m_inFlight;
                Outcome outcome = resolved;
                outcome.file = QDir::toNativeSeparators(result.file);
                if (result.ok()) {
                    outcome.bytes = result.bytes;
                } else if (result.failure == SaveResult::Failure::Exists) {
                    outcome.skipped = true;
                    outcome.bytes = QFileInfo(result.file).size();
                } else {
                    outcome.status = RequestFailed;
                    outcome.error = messages::kSaveFailed.toString().arg(result.error);
                }
                settle(index, outcome);
            });
}

void Runner::showProgress()
{
    qint64 saved = 0, total = 0;
    for (const auto &[save, figures] : m_saving) {
        saved += figures.saved;
        total = figures.total < 0 || total < 0 ? -1 : total + figures.total;
    }
    m_progress.show(saved, total, m_received);
}

void Runner::flush()
{
    while (!m_items.empty() && m_items.front().outcome) {
        print(m_items.front());
        m_status = std::max(m_status, int(m_items.front().outcome->status));
        if (m_items.front().fromStandardInput)
            m_room.release();
        m_items.pop_front();
        ++m_printed;
    }
}

void Runner::print(const Item &item)
{
    const Outcome &outcome = *item.outcome;
    m_progress.clear();
    if (m_options.json) {
        QJsonObject object{
            {QStringLiteral("input"), item.input},
            {QStringLiteral("id"), textOrNull(item.trackId)},
            {QStringLiteral("url"), textOrNull(outcome.url)},
            {QStringLiteral("name"), textOrNull(outcome.name)},
            {QStringLiteral("error"), textOrNull(outcome.error)},
        };
        if (m_options.output) {
            object.insert(QStringLiteral("file"), textOrNull(outcome.file));
            object.insert(QStringLiteral("bytes"), outcome.bytes < 0 ? QJsonValue(QJsonValue::Null)
                                                                     : QJsonValue(outcome.bytes));
        }
        writeLine(m_out, QJsonDocument(object).toJson(QJsonDocument::Compact));
        return;
    }
    const auto note = [&](const QString &text) {
        writeLine(m_err, escapeControls(messages::kAboutInput.toString().arg(
                                            QLatin1String(kProgramName), item.input, text))
                             .toUtf8());
    };
    if (outcome.status != Resolved)
        return note(outcome.error);
    if (outcome.skipped)
        note(messages::kExistsAlready.toString().arg(outcome.file));
    writeLine(m_out, escapeControls(m_options.output ? outcome.file : outcome.url).toUtf8());
}

void Runner::finishWhenDone()
{
    if (m_finished || !m_inputEnded || m_inFlight > 0 || !m_items.empty())
        return;
    m_finished = true;
    emit finished(m_status);
}

} // namespace velmora::cli
