#pragma once

// A text field of the program-wide record: single-byte (Windows-1252) text with a fixed
// capacity that counts the terminating zero, as the information file, the query and the
// printed page expect. Whatever is assigned is cut to capacity - 1 characters, so the field
// never holds more than that.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

template <std::size_t Capacity> class Text
{
public:
    static constexpr std::size_t capacity = Capacity;
    static constexpr std::size_t maxLength = Capacity - 1;

    Text() = default;
    Text(std::string_view text) { assign(text); }
    Text& operator=(std::string_view text)
    {
        assign(text);
        return *this;
    }

    void assign(std::string_view text)
    {
        m_text.assign(text.substr(0, std::min(text.size(), maxLength)));
        // The record's texts end at their first zero byte, like the strings they stand for.
        if (auto zero = m_text.find('\0'); zero != std::string::npos)
            m_text.resize(zero);
    }

    const std::string& str() const { return m_text; }
    const char* c_str() const { return m_text.c_str(); }
    std::string_view view() const { return m_text; }
    bool empty() const { return m_text.empty(); }
    std::size_t size() const { return m_text.size(); }
    void clear() { m_text.clear(); }

    friend bool operator==(const Text& text, std::string_view other)
    {
        return text.view() == other;
    }

private:
    std::string m_text;
};
