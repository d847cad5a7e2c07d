#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace velmar::test {

/// The lines given, each ended by CR LF, as the mailer writes them.
inline std::string logOf(std::initializer_list<std::string_view> lines)
{
    std::string text;
    for (std::string_view line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

/// A small log with what makes reading hard: a byte order mark, LF and CR LF line ends, a lone carriage
/// return inside a marker, a session over many lines with files resumed, partial and rejected, sessions
/// that are dropped, a day change inside a session, and two sessions of one day. The first line begins a
/// session, so that the byte order mark would stand in front of its date.
inline const std::string kSessionsOfEveryKind = "\xEF\xBB\xBF"
                                                "+ 01-Sen-2003 12:25:09 CONNECT 14400\r\n"
                                                "  01-Sen-2003 12:25:13 Address : 2:461/33\n"
                                                "  01-Sen-2003 12:25:35 Receiving 'a.pkt' (1,996b)\r\n"
                                                "  01-Sen-2003 12:25:36 Receiving 'b.pkt' (5,000b)\r\n"
                                                "  01-Sen-2003 12:25:37 Resuming from offset 1,000\r\n"
                                                "  01-Sen-2003 12:25:38 Receiving 'c.pkt' (300b)\r\n"
                                                "  01-Sen-2003 12:25:39 Part of (100b)\r\n"
                                                "+ 01-Sen-2003 12:26:15 Session completed \rsuccessfully\r\n"
                                                "+ 01-Sen-2003 22:51:30 CONNECT 2400\r\n"
                                                "  01-Sen-2003 22:51:34 Address : 2:5012/8 (Copper)\r\n"
                                                "! 01-Sen-2003 22:51:40 Session aborted\r\n"
                                                "+ 01-Sen-2003 23:59:30 CONNECT 2400\r\n"
                                                "  01-Sen-2003 23:59:34 Address : 2:5012/8\r\n"
                                                "  02-Sen-2003 00:00:40 Receiving 'd.pkt' (7b)\r\n"
                                                "  02-Sen-2003 00:00:41 Receiving file was rejected\r\n"
                                                "! 02-Sen-2003 00:01:40 Aborting due to carrier loss\r\n"
                                                "+ 02-Sen-2003 10:00:00 CONNECT 2400\r\n"
                                                "  02-Sen-2003 10:00:01 Address : 2:5020/1\r\n"
                                                "- 02-Sen-2003 10:00:02 Initializing modem\r\n"
                                                "+ 02-Sen-2003 11:00:00 CONNECT 2400\r\n"
                                                "  02-Sen-2003 11:00:01 Address : 2:5020/1\r\n"
                                                "+ 02-Sen-2003 11:03:00 Session completed successfully\r\n";

} // namespace velmar::test
