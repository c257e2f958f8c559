#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <string>
#include <vector>

#include "capture/pcap_file_source.h"
#include "capture/pcap_file_writer.h"
#include "support/temp_dir.h"
#include "support/test_datagram.h"

namespace vorlanx {
namespace {

using Bytes = std::vector<uint8_t>;

struct LinkTypeCase {
    const char* name;
    PcapLinkType linkType;
    int datalink;
};

class PcapFileWriterLinkType : public testing::TestWithParam<LinkTypeCase> {};

// Each link type is declared in the file header, the records hold the datagrams whole with
// their times, and the program's own reader gives the same datagrams back.
TEST_P(PcapFileWriterLinkType, DeclaresTheLinkTypeAndRoundTrips) {
    test::TempDir dir;
    const std::string path = dir.file("out.pcap");
    const std::vector<Bytes> datagrams = {test::BuildDatagram({.payload = "GET / HTTP/1.1"}),
                                          test::BuildDatagram({.payload = std::string(1448, 'x')})};
    const std::vector<int64_t> times = {1'767'225'600'000'001, 1'767'225'601'999'999};
    {
        PcapFileWriter writer;
        ASSERT_EQ(writer.open(path, GetParam().linkType), 0);
        for (size_t i = 0; i < datagrams.size(); ++i) {
            ASSERT_EQ(writer.write(datagrams[i], times[i]), 0);
        }
        ASSERT_EQ(writer.close(), 0);
    }

    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* file = pcap_open_offline(path.c_str(), error);
    ASSERT_NE(file, nullptr) << error;
    EXPECT_EQ(pcap_datalink(file), GetParam().datalink);
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    for (size_t i = 0; i < datagrams.size(); ++i) {
        ASSERT_EQ(pcap_next_ex(file, &header, &data), 1);
        EXPECT_EQ(int64_t{header->ts.tv_sec} * 1'000'000 + header->ts.tv_usec, times[i]);
        EXPECT_EQ(Bytes(data, data + header->caplen), datagrams[i]);
    }
    EXPECT_EQ(pcap_next_ex(file, &header, &data), PCAP_ERROR_BREAK);
    pcap_close(file);

    auto source = PcapFileSource::openFile(path);
    for (const Bytes& expected : datagrams) {
        const auto datagram = source->receive();
        ASSERT_TRUE(datagram.has_value()) << source->errorText();
        EXPECT_EQ(Bytes(datagram->begin(), datagram->end()), expected);
    }
    EXPECT_FALSE(source->receive().has_value());
    EXPECT_FALSE(source->failed());
}

INSTANTIATE_TEST_SUITE_P(LinkTypes, PcapFileWriterLinkType,
                         testing::Values(LinkTypeCase{"Ipv4", PcapLinkType::Ipv4, DLT_IPV4},
                                         LinkTypeCase{"RawIp", PcapLinkType::RawIp, DLT_RAW}),
                         [](const testing::TestParamInfo<LinkTypeCase>& instance) {
                             return std::string(instance.param.name);
                         });

}  // namespace
}  // namespace vorlanx
