// Feeds arbitrary bytes, cut into batches by operator actions hidden in the input, through
// Reception and decoding, and checks the result against a model of its own after every batch.
//
// Input: every byte is a received character, except the pairs 0xFF 1 (RESET), 0xFF 2 (HEX),
// 0xFF 3 (DEC) and 0xFF 4 (a batch boundary alone), which are operator actions between batches.
#include "acquisition/reception.h"
#include "monitor/frame_format.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace adc;

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

// Number texts made here by hand, so that a fault in the core's own formatting shows.
std::string numberText(std::int64_t value, bool decimal)
{
    const unsigned base = decimal ? 10 : 16;
    char buffer[24];
    char* p = buffer + sizeof buffer;
    std::uint64_t rest = static_cast<std::uint64_t>(value); // never negative here
    do {
        *--p = "0123456789ABCDEF"[rest % base];
        rest /= base;
    } while (rest != 0);
    return std::string(p, buffer + sizeof buffer);
}

// True when `text` is a reading (0..4095) in the given base as the monitor shows numbers:
// upper-case digits, no leading zeros, no sign.
bool isReadingText(std::string_view text, int base)
{
    if (text.empty() || text.size() > 4 || (text.size() > 1 && text[0] == '0'))
        return false;
    int value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return false;
        value = value * base + digit;
    }
    return value <= kReadingMax;
}

// The reading rule, written independently: blanks, tabs and line feeds are skipped, then hex
// digits are read up to the first other character.
int readingOf(std::string_view field)
{
    int value = 0;
    for (char c : field) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return value;
}

// Folds every window call into a hash, so that two runs can be compared call for call.
class HashingWindow : public WindowOps
{
public:
    void setBoxText(int box, std::string_view text) override
    {
        mix(static_cast<std::uint64_t>(box));
        for (char c : text)
            mix(static_cast<unsigned char>(c));
        mix(0x100);
    }
    void setLampColour(Colour colour) override { mix(0x200 + colour); }

    std::uint64_t hash() const { return m_hash; }

private:
    void mix(std::uint64_t v) { m_hash = (m_hash ^ v) * 0x100000001b3ULL; }

    std::uint64_t m_hash = 0xcbf29ce484222325ULL;
};

// Checks every call as it is made and keeps what each box and the lamp show.
class CheckingWindow : public HashingWindow
{
public:
    explicit CheckingWindow(const MonitorState& state) : m_state(state) {}

    void setBoxText(int box, std::string_view text) override
    {
        HashingWindow::setBoxText(box, text);
        require(box >= 1 && box <= kBoxCount, "box number out of range");
        if (box == kCountBox) {
            require(text == numberText(m_state.frameCount, true), "count box is not the count");
        } else if (box <= kChannelCount) {
            if (m_state.isDecimal())
                require(isReadingText(text, 10), "Dec value box is not a reading's decimal text");
            else
                require(text.size() <= 3, "Hex value box longer than its field");
        } else {
            // A reset writes the min boxes in decimal before it rewrites them in Hex mode.
            require(isReadingText(text, 10) || isReadingText(text, 16),
                    "min/max box is not a reading's text");
        }
        m_boxes[static_cast<std::size_t>(box)] = text;
    }
    void setLampColour(Colour colour) override
    {
        HashingWindow::setLampColour(colour);
        require(colour == kLampReceiving || colour == kLampComplete, "unknown lamp colour");
        m_lamp = colour;
    }

    const std::string& text(int box) const { return m_boxes[static_cast<std::size_t>(box)]; }
    Colour lamp() const { return m_lamp; }

private:
    const MonitorState& m_state;
    std::array<std::string, kBoxCount + 1> m_boxes{};
    Colour m_lamp = kLampBlack;
};

// What the monitor must show, worked out character by character.
struct Model
{
    bool decimal = false;
    bool inFrame = false;
    std::string stored; // the frame's first kFramePayloadLength characters
    std::int64_t count = 0;
    std::array<int, kChannelCount> min{};
    std::array<int, kChannelCount> max{};
    std::array<std::string, kChannelCount> valueText{};
    Colour lamp = kLampBlack;

    void reset()
    {
        min.fill(kReadingMax);
        max.fill(0);
        count = 0;
    }

    void receive(char c)
    {
        if (!inFrame) {
            if (c == kStx) {
                inFrame = true;
                stored.clear();
                ++count;
                lamp = kLampReceiving;
            }
            return;
        }
        if (stored.size() < static_cast<std::size_t>(kFramePayloadLength))
            stored += c;
        if (c != kCr)
            return;
        lamp = kLampComplete;
        inFrame = false;
        for (int k = 0; k < kChannelCount; ++k) {
            const std::size_t at = kFieldPitch * static_cast<std::size_t>(k);
            const std::string field =
                at < stored.size() ? stored.substr(at, kFieldWidth) : std::string();
            const int v = readingOf(field);
            require(v >= 0 && v <= kReadingMax, "reading outside 0..4095");
            valueText[k] = decimal ? numberText(v, true) : field;
            min[k] = v < min[k] ? v : min[k];
            max[k] = v > max[k] ? v : max[k];
        }
        stored.clear();
    }
};

void compare(const Model& model, const MonitorState& state, const Reception& reception,
             const CheckingWindow& window, const HashingWindow& reference)
{
    require(reception.inFrame() == model.inFrame, "in-frame flag differs");
    require(reception.frameText() == model.stored, "stored frame text differs");
    require(state.frameCount == model.count, "count is not the STX seen since the reset");
    require(window.text(kCountBox) == numberText(model.count, true), "count box");
    require(window.lamp() == model.lamp, "lamp colour");
    for (int k = 0; k < kChannelCount; ++k) {
        // min and max bound every reading since the reset, and are readings themselves.
        require(state.min[k] == model.min[k], "min is not the lowest reading since the reset");
        require(state.max[k] == model.max[k], "max is not the highest reading since the reset");
        require(state.min[k] >= 0 && state.max[k] <= kReadingMax, "range outside 0..4095");
        require(window.text(minBox(k)) == numberText(state.min[k], model.decimal), "min box");
        require(window.text(maxBox(k)) == numberText(state.max[k], model.decimal), "max box");
        require(window.text(valueBox(k)) == model.valueText[k], "value box");
    }
    require(window.hash() == reference.hash(), "batching changed the window calls");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    MonitorState state;
    CheckingWindow window(state);
    resetStatistics(state, window);
    Reception reception(state, window);

    // The same input one character at a time: batching must not change a single call.
    MonitorState refState;
    HashingWindow refWindow;
    resetStatistics(refState, refWindow);
    Reception refReception(refState, refWindow);

    Model model;
    model.reset();

    // A batch is the run of input bytes between two actions, fed as it stands.
    const char* const bytes = reinterpret_cast<const char*>(data);
    std::size_t batchStart = 0;
    auto flush = [&](std::size_t batchEnd) {
        const std::string_view batch(bytes + batchStart, batchEnd - batchStart);
        reception.feed(batch);
        for (char c : batch) {
            refReception.feed(std::string_view(&c, 1));
            model.receive(c);
        }
        compare(model, state, reception, window, refWindow);
    };

    for (std::size_t i = 0; i + 1 < size; ++i) {
        const std::uint8_t action = data[i + 1];
        if (data[i] != 0xFF || action < 1 || action > 4)
            continue;
        flush(i);
        batchStart = i + 2;
        ++i;
        if (action == 1) {
            resetStatistics(state, window);
            resetStatistics(refState, refWindow);
            model.reset();
        } else if (action != 4) {
            const DisplayMode mode = action == 2 ? DisplayMode::Hex : DisplayMode::Dec;
            selectDisplayMode(state, window, mode);
            selectDisplayMode(refState, refWindow, mode);
            model.decimal = mode == DisplayMode::Dec;
            model.reset();
        }
        compare(model, state, reception, window, refWindow);
    }
    flush(size);
    return 0;
}
