#include "recording/recording_session.h"

#include <QFile>
#include <cerrno>
#include <cstring>
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

} // namespace

RecordingSession::RecordingSession(QObject* parent) : QObject(parent)
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

void RecordingSession::bytesReceived(std::string_view bytes)
{
    if (m_capture)
        m_capture->append(bytes);
}

std::unique_ptr<RecordOutput> RecordingSession::open(const QString& path, OpenMode mode, bool lines,
                                                     QString& problem)
{
    int error = 0;
    std::unique_ptr<OutputFile> file =
        PosixOutputFile::open(QFile::encodeName(path).toStdString(), mode, error);
    if (!file) {
        if (error == EEXIST)
            problem = tr("%1 exists already; give --append to add to it, or choose another name")
                          .arg(path);
        else if (error == ENXIO)
            problem = tr("Cannot write to %1: nothing is reading from it").arg(path);
        else
            problem = tr("Cannot write to %1: %2").arg(shownPath(path), reason(error));
        return nullptr;
    }
    auto output = std::make_unique<RecordOutput>(std::move(file), lines);
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
    m_recording = std::move(output);
    m_recorder = std::make_unique<FrameRecorder>(*m_recording, m_clock);
    m_recordingPath = path;
    emit recordingChanged();
    return {};
}

void RecordingSession::stopRecording()
{
    if (!m_recording)
        return;
    m_recorder.reset();
    const int error = close(m_recording);
    const QString path = std::exchange(m_recordingPath, {});
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
    m_capture = std::move(output);
    m_capturePath = path;
    return {};
}

void RecordingSession::stopCapture()
{
    if (!m_capture)
        return;
    const int error = close(m_capture);
    const QString path = std::exchange(m_capturePath, {});
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

QString RecordingSession::start(const QString& recordPath, const QString& capturePath,
                                OpenMode mode)
{
    QString problem;
    if (!recordPath.isEmpty())
        problem = startRecording(recordPath, mode);
    if (problem.isEmpty() && !capturePath.isEmpty())
        problem = startCapture(capturePath, mode);
    return problem;
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

void RecordingSession::report(const QString& message, const QString& path, int error)
{
    m_writeError = true;
    emit failed(message.arg(shownPath(path), reason(error)));
}

} // namespace adc
