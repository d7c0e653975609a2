#pragma once

#include "recording/clock.h"
#include "recording/frame_recorder.h"
#include "recording/posix_output_file.h"
#include "recording/record_output.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace adc {

/// Keeps what a reception takes in: every frame's readings as a CSV recording, every byte as a
/// capture, or both. Its owner hands it the readings and the bytes (it observes both) for as
/// long as it lives; recording and capture may each start and stop at any time.
///
/// What is collected reaches its file within half a second, at every stop() and when the
/// session ends. A write that fails is reported once through failed(); that output stops, what
/// it wrote stays, and reception goes on.
class RecordingSession : public QObject,
                         public ReadingsObserver,
                         public ValuesObserver,
                         public ByteSink
{
    Q_OBJECT

public:
    explicit RecordingSession(QObject* parent = nullptr);
    /// Stamps rows and times rotations by `clock`, which must outlive the session.
    explicit RecordingSession(const Clock& clock, QObject* parent = nullptr);
    ~RecordingSession() override;

    /// Records the frame, when a recording runs.
    void frameDecoded(const FrameReadings& readings, std::int64_t frame) override;
    /// Records the frame with its values, when a recording runs with a profile.
    void frameValued(const FrameReadings& readings, const ChannelValues& values,
                     std::int64_t frame) override;
    /// Captures the bytes, when a capture runs.
    void bytesReceived(std::string_view bytes) override;

    /// Recordings started from now on add the values of `profile`'s calibrated channels to each
    /// row and take their frames through frameValued(); null: the readings alone. The profile
    /// must outlive the session.
    void setProfile(const Profile* profile) { m_profile = profile; }

    /// Recordings and captures started from now on go into the files of `rotation`, named from
    /// the path each is given (see RotatingFiles); the default rotates nothing.
    void setRotation(const Rotation& rotation) { m_rotation = rotation; }

    /// Records every frame decoded from now on to `path` ("-": standard output) as CSV,
    /// replacing a recording in progress. Returns why that cannot be done; empty when it runs.
    QString startRecording(const QString& path, OpenMode mode = OpenMode::Create);
    /// Ends the recording, with every row written.
    void stopRecording();
    bool isRecording() const { return m_recording != nullptr; }
    /// The file being recorded to, of a rotation the one being written; empty when none.
    QString recordingPath() const { return currentPath(m_recording, m_recordingPath); }
    /// The file being captured to, likewise.
    QString capturePath() const { return currentPath(m_capture, m_capturePath); }
    /// Rows of the recording in progress.
    qint64 recordedRows() const { return m_recorder ? m_recorder->rows() : 0; }

    /// Writes every byte received from now on to `path`, exactly as received. Returns why that
    /// cannot be done; empty when it runs.
    QString startCapture(const QString& path, OpenMode mode = OpenMode::Create);
    /// Ends the capture, with every byte written.
    void stopCapture();
    bool isCapturing() const { return m_capture != nullptr; }

    /// Makes startArmed() start the recording and the capture whose paths are not empty, so that
    /// their files are made only once there is something to record. Returns why one of them
    /// could not be started, found without creating or changing a file; nothing is armed then.
    QString arm(const QString& recordPath, const QString& capturePath, OpenMode mode);
    /// Starts what arm() asked for and has not started yet. When one of them fails, neither
    /// runs and a file made for it is removed; returns why, empty when all asked for run.
    QString startArmed();
    /// True while arm() has asked for something that startArmed() has not started.
    bool isArmed() const { return !m_armedRecordPath.isEmpty() || !m_armedCapturePath.isEmpty(); }

    /// Ends the recording and the capture, and removes the files this session made for them
    /// that hold no row (no byte, for a capture): a failed run leaves nothing in the way of
    /// the next try.
    void discardUnused();

    /// Writes out everything collected.
    void flush();

    /// True once a recording or a capture of this session could not be written.
    bool hadWriteError() const { return m_writeError; }

signals:
    /// A recording or a capture could not be written and has stopped; `message` names the
    /// file and the reason.
    void failed(const QString& message);
    /// A recording started or stopped.
    void recordingChanged();

private:
    std::unique_ptr<RecordOutput> open(const QString& path, OpenMode mode, bool lines,
                                       QString& problem);
    /// Why `path` could not be opened with `mode`, as far as can be seen without opening it.
    QString check(const QString& path, OpenMode mode, bool lines) const;
    /// Ends the recording; removes its file when this session made it and wrote no row.
    void discardRecording();
    void onFailed(bool recording);
    /// Deletes what the rotation of `output` keeps no longer, off the reading path.
    void prune(const RecordOutput* output);
    static QString currentPath(const std::unique_ptr<RecordOutput>& output, const QString& path);
    /// Writes out and closes `output`; returns the error it ended with, 0 for none.
    static int close(std::unique_ptr<RecordOutput>& output);
    void report(const QString& message, const QString& path, int error);

    SystemClock m_systemClock;
    const Clock& m_clock = m_systemClock;
    Rotation m_rotation;
    // Files whose deletion failed, each reported once.
    QStringList m_undeletable;
    const Profile* m_profile = nullptr;
    QTimer m_flushTimer;
    std::unique_ptr<RecordOutput> m_recording;
    std::unique_ptr<FrameRecorder> m_recorder;
    QString m_recordingPath;
    std::unique_ptr<RecordOutput> m_capture;
    QString m_capturePath;
    QString m_armedRecordPath;
    QString m_armedCapturePath;
    OpenMode m_armedMode = OpenMode::Create;
    bool m_writeError = false;
};

} // namespace adc
