#include "recording/record_output.h"

#include <cerrno>

namespace adc {

RecordOutput::RecordOutput(std::unique_ptr<OutputFile> file, bool lines)
    : m_file(std::move(file)), m_lines(lines)
{
    m_buffer.reserve(kChunkSize);
}

RecordOutput::~RecordOutput()
{
    flush();
}

void RecordOutput::setRotation(std::unique_ptr<RotatingFiles> rotation)
{
    m_rotation = std::move(rotation);
}

void RecordOutput::setHeader(std::string header)
{
    m_header = std::move(header);
    if (startedEmpty())
        put(m_header);
}

void RecordOutput::append(std::string_view bytes)
{
    if (failed() || bytes.empty())
        return;
    if (!m_rotation)
        put(bytes);
    else if (m_lines)
        appendLine(bytes);
    else
        appendBytes(bytes);
}

void RecordOutput::appendLine(std::string_view line)
{
    // A file that holds no row yet takes the next whatever its size or time.
    if (m_fileBytes > m_header.size() &&
        (m_rotation->wouldOverfill(m_fileBytes, line.size()) || m_rotation->isTimeUp()))
        switchFile();
    put(line);
}

void RecordOutput::appendBytes(std::string_view bytes)
{
    while (!bytes.empty() && !failed()) {
        if (!m_switchDue) {
            if (m_rotation->isTimeUp() && m_fileBytes > 0) {
                m_switchDue = true;
            } else {
                const std::uint64_t room = m_rotation->room(m_fileBytes);
                if (bytes.size() <= room) {
                    put(bytes);
                    return;
                }
                put(bytes.substr(0, room));
                bytes.remove_prefix(room);
                m_switchDue = true;
            }
        }
        const std::size_t end = bytes.find('\r');
        if (end == std::string_view::npos) {
            put(bytes);
            return;
        }
        put(bytes.substr(0, end + 1));
        bytes.remove_prefix(end + 1);
        switchFile();
    }
}

void RecordOutput::put(std::string_view bytes)
{
    if (bytes.empty())
        return;
    m_appended += bytes.size();
    m_fileBytes += bytes.size();
    const bool wasEmpty = m_buffer.empty();
    m_buffer.append(bytes);
    if (m_buffer.size() >= kChunkSize)
        writeOut();
    else if (wasEmpty && m_onPending)
        m_onPending();
}

void RecordOutput::switchFile()
{
    m_switchDue = false;
    if (!flush())
        return;
    int error = 0;
    std::unique_ptr<OutputFile> next = m_rotation->openNext(error);
    if (!next) {
        fail(error != 0 ? error : EIO);
        return;
    }
    // The last file closes once the next is open.
    m_file = std::move(next);
    m_written = 0;
    m_fileBytes = 0;
    if (m_lines)
        put(m_header);
    if (m_onSwitched)
        m_onSwitched();
}

bool RecordOutput::flush()
{
    if (!failed() && !m_buffer.empty())
        writeOut();
    return !failed();
}

void RecordOutput::writeOut()
{
    int error = 0;
    const std::size_t done = m_file->write(m_buffer, error);
    m_written += done;
    if (done == m_buffer.size()) {
        m_buffer.clear();
        return;
    }
    if (m_lines) {
        const std::size_t lineEnd = done == 0 ? std::string::npos : m_buffer.rfind('\n', done - 1);
        const std::size_t partial = lineEnd == std::string::npos ? done : done - lineEnd - 1;
        if (partial != 0) {
            m_written -= partial;
            m_file->truncateTo(m_written);
        }
    }
    fail(error != 0 ? error : EIO);
}

void RecordOutput::fail(int error)
{
    m_error = error;
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    if (m_onFailed)
        m_onFailed();
}

} // namespace adc
