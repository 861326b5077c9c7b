#include "tests/fuzz/FakeLine.h"

#include <algorithm>
#include <cstring>

using fuzz::line;

GFSerial::GFSerial(GFComLink* link) : m_link(link) {}
int GFSerial::GetCommError(unsigned short& errors)
{
    return errors = 0;
}
void GFSerial::TXFlush() {}
void GFSerial::RXFlush(int) {}
bool GFSerial::WaitWritable(int)
{
    return true;
}
bool GFSerial::WaitReadable(int)
{
    return line.handedOut < line.incoming.size();
}

long GFSerial::Read(void* buffer, std::size_t size)
{
    const std::size_t count =
        std::min({size, line.readSize, line.incoming.size() - line.handedOut});
    std::memcpy(buffer, line.incoming.data() + line.handedOut, count);
    if (count > 0)
        line.reads.push_back(line.handedOut += count);
    return long(count);
}

unsigned int GFSerial::GetString(unsigned char* buffer, unsigned int room, int, long)
{
    const long count = Read(buffer, room - 1);
    buffer[count] = '\0';
    return unsigned(count);
}

long GFSerial::WriteSome(const void* bytes, std::size_t size)
{
    line.onWrite({static_cast<const char*>(bytes), size});
    return long(size);
}

int GFSerial::PutString(const unsigned char* text, int mode)
{
    const std::string bytes(reinterpret_cast<const char*>(text));
    line.onWrite(mode == commandLine ? bytes + '\r' : bytes);
    return 0;
}
