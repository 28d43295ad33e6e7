// Feature blocks written out as the tests expect them, for the suites that
// check the rewriter on the core and through the plug-in alike. Platform-free.
#pragma once

#include <string>

// A block as the driver writes it.
inline std::string Driver(const std::string& keyword, const std::string& value) {
    return "featurebegin{\r\n%%BeginFeature: *" + keyword + " " + value + "\r\n<<>> setpagedevice\r\n" +
           "%%EndFeature\r\n}featurecleanup\r\n";
}
// A block as the rewriter writes it.
inline std::string Ours(const std::string& keyword, const std::string& comment, const std::string& invocation) {
    return "featurebegin{\r\n%%BeginFeature: *" + keyword + " " + comment + "\r\n(" + invocation +
           ") /Custom /ProcSet findresource /" + keyword + " get exec\r\n%%EndFeature\r\n}featurecleanup\r\n";
}
inline std::string Ours(const std::string& keyword, const std::string& value) { return Ours(keyword, value, value); }
