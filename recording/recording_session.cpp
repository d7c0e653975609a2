#include "recording/recording_session.h"

#include "readings/csv_format.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace adc {

namespace {

// Rows reach the file within a second of their frame even at the slowest line.
constexpr int kFlushDelayMs = 500;

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString shownPath(const QString& path)
{
    return path == QLatin1String(PosixOutputFile::kStandardOutput) ? QObject::tr("standard output")
                                                                   : path;
}

QString openProblem(const QString& path, int error)
{
    if (error == EEXIST)
        return QObject::tr("%1 exists already; give --append to add to it, or choose another name")
            .arg(path);
    if (error == ENXIO)
        return QObject::tr("Cannot write to %1: nothing is reading from it").arg(path);
    return QObject::tr("Cannot write to %1: %2").arg(shownPath(path), reason(error));
}

// A recording is only ever added to one of its own kind: rows under another header would be
// read as the wrong columns.
QString foreignHeader(const QString& path, const std::string& header)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QObject::tr("Cannot read %1 to see what it holds: %2").arg(path, file.errorString());
    constexpr qint64 kLongestShown = 80;
    QByteArray line = file.readLine(qint64(header.size()) + 1);
    const QByteArray ours(header.data(), qsizetype(header.size()));
    if (line == ours || line == ours.chopped(2) + '\n')
        return {};
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    const QString shown = line.size() > kLongestShown
                              ? QString::fromUtf8(line.left(kLongestShown)) + QChar(0x2026)
                              : QString::fromUtf8(line);
    return QObject::tr("%1 does not hold a recording of this program: its first line is \"%2\"; "
                       "choose another file to add to")
        .arg(path, shown);
}

} // namespace

RecordingSession::RecordingSession(QObject* parent) : RecordingSession(m_systemClock, parent) {}

RecordingSession::RecordingSession(const Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushDelayMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &RecordingSession::flush);
}

RecordingSession::~RecordingSession()
{
    // The owner is going too: write everything out, but tell nobody.
    blockSignals(true);
    stopRecording();
    stopCapture();
}

void RecordingSession::frameDecoded(const FrameReadings& readings, std::int64_t frame)
{
    if (m_recorder)
        m_recorder->frameDecoded(readings, frame);
}

void RecordingSession::frameValued(const FrameReadings& readings, const ChannelValues& values,
                                   std::int64_t frame)
{
    if (m_recorder)
        m_recorder->frameValued(readings, values, frame);
}

void RecordingSession::bytesReceived(std::string_view bytes)
{
    if (m_capture)
        m_capture->append(bytes);
}

std::unique_ptr<RecordOutput> RecordingSession::open(const QString& path, OpenMode mode, bool lines,
                                                     QString& problem)
{
    int error = 0;
    std::unique_ptr<OutputFile> file;
    std::unique_ptr<RotatingFiles> rotation;
    if (m_rotation.rotates()) {
        rotation = std::make_unique<RotatingFiles>(
            QFile::encodeName(path).toStdString(), m_rotation, m_clock,
            [](const std::string& name, int& openError) -> std::unique_ptr<OutputFile> {
                return PosixOutputFile::open(name, OpenMode::Create, openError);
            });
        file = rotation->openNext(error);
    } else {
        file = PosixOutputFile::open(QFile::encodeName(path).toStdString(), mode, error);
    }
    if (!file) {
        problem = openProblem(
            rotation ? QFile::decodeName(QByteArray::fromStdString(rotation->path())) : path,
            error);
        return nullptr;
    }
    auto output = std::make_unique<RecordOutput>(std::move(file), lines);
    if (rotation) {
        output->setRotation(std::move(rotation));
        const RecordOutput* rotating = output.get();
        output->setOnSwitched([this, rotating, recording = lines] {
            if (recording)
                emit recordingChanged();
            QMetaObject::invokeMethod(
                this, [this, rotating] { prune(rotating); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this, [this, rotating] { prune(rotating); }, Qt::QueuedConnection);
    }
    output->setOnPending([this] {
        if (!m_flushTimer.isActive())
            m_flushTimer.start();
    });
    // A write fails in the middle of a reception: stop the output once that has returned.
    output->setOnFailed([this, recording = lines] {
        QMetaObject::invokeMethod(
            this, [this, recording] { onFailed(recording); }, Qt::QueuedConnection);
    });
    return output;
}

QString RecordingSession::startRecording(const QString& path, OpenMode mode)
{
    QString problem;
    std::unique_ptr<RecordOutput> output = open(path, mode, true, problem);
    if (!output)
        return problem;
    stopRecording();
    m_armedRecordPath.clear(); // a recording chosen now replaces one asked for before
    m_recording = std::move(output);
    m_recorder = std::make_unique<FrameRecorder>(*m_recording, m_clock, m_profile);
    m_recordingPath = path;
    emit recordingChanged();
    return {};
}

void RecordingSession::stopRecording()
{
    if (!m_recording)
        return;
    m_recorder.reset();
    const QString path = recordingPath();
    m_recordingPath.clear();
    const int error = close(m_recording);
    emit recordingChanged();
    if (error != 0)
        report(tr("Recording to %1 stopped: %2. The rows written so far are kept."), path, error);
}

QString RecordingSession::startCapture(const QString& path, OpenMode mode)
{
    QString problem;
    std::unique_ptr<RecordOutput> output = open(path, mode, false, problem);
    if (!output)
        return problem;
    stopCapture();
    m_armedCapturePath.clear();
    m_capture = std::move(output);
    m_capturePath = path;
    return {};
}

void RecordingSession::stopCapture()
{
    if (!m_capture)
        return;
    const QString path = capturePath();
    m_capturePath.clear();
    const int error = close(m_capture);
    if (error != 0)
        report(tr("Capture to %1 stopped: %2. The bytes written so far are kept."), path, error);
}

int RecordingSession::close(std::unique_ptr<RecordOutput>& output)
{
    output->flush();
    const int error = output->errorNumber();
    output.reset();
    return error;
}

QString RecordingSession::check(const QString& path, OpenMode mode, bool lines) const
{
    if (path == QLatin1String(PosixOutputFile::kStandardOutput))
        return {};
    const QByteArray name = QFile::encodeName(path);
    // New files, named from this one: their folder must take them.
    const auto folderTakesNew = [&path] {
        const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
        return ::access(folder.constData(), W_OK | X_OK) == 0 ? QString()
                                                              : openProblem(path, errno);
    };
    if (m_rotation.rotates())
        return folderTakesNew();
    struct stat info = {};
    if (::stat(name.constData(), &info) != 0) {
        if (errno != ENOENT)
            return openProblem(path, errno);
        return folderTakesNew();
    }
    if (!S_ISREG(info.st_mode))
        return {};
    if (mode == OpenMode::Create)
        return openProblem(path, EEXIST);
    if (::access(name.constData(), W_OK) != 0)
        return openProblem(path, errno);
    if (lines && mode == OpenMode::Append && info.st_size > 0)
        return foreignHeader(path, m_profile ? csvHeader(*m_profile) : std::string(kCsvHeader));
    return {};
}

QString RecordingSession::arm(const QString& recordPath, const QString& capturePath, OpenMode mode)
{
    QString problem;
    if (!recordPath.isEmpty())
        problem = check(recordPath, mode, true);
    if (problem.isEmpty() && !capturePath.isEmpty())
        problem = check(capturePath, mode, false);
    if (!problem.isEmpty())
        return problem;
    m_armedRecordPath = recordPath;
    m_armedCapturePath = capturePath;
    m_armedMode = mode;
    return {};
}

QString RecordingSession::startArmed()
{
    const QString record = m_armedRecordPath;
    const QString capture = m_armedCapturePath;
    QString problem;
    if (!record.isEmpty()) {
        problem = check(record, m_armedMode, true);
        if (problem.isEmpty())
            problem = startRecording(record, m_armedMode);
    }
    if (problem.isEmpty() && !capture.isEmpty()) {
        problem = startCapture(capture, m_armedMode);
        if (!problem.isEmpty() && !record.isEmpty())
            discardRecording();
    }
    if (!problem.isEmpty()) {
        // Still asked for: the next start tries again.
        m_armedRecordPath = record;
        m_armedCapturePath = capture;
    }
    return problem;
}

void RecordingSession::discardUnused()
{
    if (m_recording)
        discardRecording();
    if (m_capture && m_capture->appended() == 0 && m_capture->created()) {
        const QString path = capturePath();
        m_capture.reset();
        m_capturePath.clear();
        QFile::remove(path);
    }
    stopCapture();
}

void RecordingSession::discardRecording()
{
    if (m_recorder->rows() == 0 && m_recording->created()) {
        m_recorder.reset();
        const QString path = recordingPath();
        m_recording.reset();
        m_recordingPath.clear();
        QFile::remove(path);
        emit recordingChanged();
    }
    stopRecording();
}

void RecordingSession::flush()
{
    m_flushTimer.stop();
    if (m_recording)
        m_recording->flush();
    if (m_capture)
        m_capture->flush();
}

void RecordingSession::onFailed(bool recording)
{
    if (recording && m_recording && m_recording->failed())
        stopRecording();
    else if (!recording && m_capture && m_capture->failed())
        stopCapture();
}

QString RecordingSession::currentPath(const std::unique_ptr<RecordOutput>& output,
                                      const QString& path)
{
    if (output && output->rotation())
        return QFile::decodeName(QByteArray::fromStdString(output->rotation()->path()));
    return path;
}

void RecordingSession::prune(const RecordOutput* output)
{
    // Gone since it was asked for: nothing of it to delete.
    if ((output != m_recording.get() && output != m_capture.get()) || !output->rotation())
        return;
    const auto failures = output->rotation()->prune(
        [](const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; });
    for (const auto& [path, error] : failures) {
        const QString name = QFile::decodeName(QByteArray::fromStdString(path));
        if (m_undeletable.contains(name))
            continue;
        m_undeletable << name;
        report(tr("Cannot delete %1, an old file of the rotation: %2"), name, error);
    }
}

void RecordingSession::report(const QString& message, const QString& path, int error)
{
    m_writeError = true;
    emit failed(message.arg(shownPath(path), reason(error)));
}

} // namespace adc
