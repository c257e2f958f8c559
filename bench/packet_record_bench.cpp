// Costs on the capture path (create and decode), in the detail pane and the reports
// (the three renderings) and in the list (the time column), for a small and the largest
// datagram.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture/packet_record.h"
#include "capture/date_time_template.h"

namespace {

using namespace vorlanx;

std::vector<uint8_t> tcpDatagram(size_t length) {
    std::vector<uint8_t> b(length);
    for (size_t i = 0; i < length; ++i) {
        b[i] = static_cast<uint8_t>(i * 31 + 7);  // every value, zeros included
    }
    b[9] = kProtocolTcp;
    b[32] = 0x50;
    return b;
}

void BM_CreateAndDecode(benchmark::State& state) {
    const auto bytes = tcpDatagram(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        PacketRecord record = PacketRecord::create(bytes);
        const PacketView v = record.view(static_cast<uint32_t>(bytes.size()));
        const TcpFlags f = v.flags();
        uint64_t sum = v.ipTotalLength() + v.ttl() + v.protocol() + v.ipChecksum() +
                       v.sourceAddressRaw() + v.destinationAddressRaw() + v.sourcePort() +
                       v.destinationPort() + v.sequence() + v.acknowledgement() +
                       v.tcpHeaderLength() + v.window() + v.payloadOffset() + f.syn + f.ack +
                       v.hasPorts() + v.isDisplayable() + v.isTcpSized();
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(record.block());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CreateAndDecode)->Arg(60)->Arg(65540);

void BM_AddressAndPortTexts(benchmark::State& state) {
    const auto bytes = tcpDatagram(60);
    PacketRecord record = PacketRecord::create(bytes);
    const PacketView v = record.view(60);
    for (auto _ : state) {
        std::string from = AddressText(v.sourceAddress());
        std::string to = AddressText(v.destinationAddress());
        std::string port = PortText(v.sourcePort());
        benchmark::DoNotOptimize(from.data());
        benchmark::DoNotOptimize(to.data());
        benchmark::DoNotOptimize(port.data());
    }
}
BENCHMARK(BM_AddressAndPortTexts);

void BM_PayloadText(benchmark::State& state) {
    const auto bytes = tcpDatagram(static_cast<size_t>(state.range(0)));
    PacketRecord record = PacketRecord::create(bytes);
    const PacketView v = record.view(static_cast<uint32_t>(bytes.size()));
    std::string work;
    for (auto _ : state) {
        benchmark::DoNotOptimize(v.payloadText(work).data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_PayloadText)->Arg(60)->Arg(65540);

template <void (*Render)(const PacketView&, std::string&)>
void BM_Render(benchmark::State& state) {
    const auto bytes = tcpDatagram(static_cast<size_t>(state.range(0)));
    PacketRecord record = PacketRecord::create(bytes);
    const PacketView v = record.view(static_cast<uint32_t>(bytes.size()));
    for (auto _ : state) {
        std::string out;  // a fresh buffer each time, as the detail pane does
        Render(v, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Render<RenderDec>)->Name("BM_RenderDec")->Arg(60)->Arg(65540);
BENCHMARK(BM_Render<RenderHex>)->Name("BM_RenderHex")->Arg(60)->Arg(65540);
BENCHMARK(BM_Render<RenderText>)->Name("BM_RenderText")->Arg(60)->Arg(65540);

void BM_ExpandDefaultDateTimeTemplate(benchmark::State& state) {
    const LocalTime t{
        .year = 2003, .month = 4, .day = 2, .hour = 14, .minute = 5, .second = 9, .millisecond = 7};
    for (auto _ : state) {
        std::string text = ExpandDateTimeTemplate(kDefaultDateTimeTemplate, t);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_ExpandDefaultDateTimeTemplate);

void BM_SystemLocalTime(benchmark::State& state) {
    SystemLocalTimeSource source;
    for (auto _ : state) {
        benchmark::DoNotOptimize(source.now());
    }
}
BENCHMARK(BM_SystemLocalTime);

}  // namespace
