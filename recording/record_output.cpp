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

void RecordOutput::append(std::string_view bytes)
{
    if (failed() || bytes.empty())
        return;
    m_appended += bytes.size();
    const bool wasEmpty = m_buffer.empty();
    m_buffer.append(bytes);
    if (m_buffer.size() >= kChunkSize)
        writeOut();
    else if (wasEmpty && m_onPending)
        m_onPending();
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
    m_error = error != 0 ? error : EIO;
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    if (m_onFailed)
        m_onFailed();
}

} // namespace adc
