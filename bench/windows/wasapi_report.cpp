// What WASAPI reports for the default output in shared mode, as the game's SDL opens it:
// the device periods and the latency of a stream of 48 kHz stereo float.
//   wasapi_report.exe
#include <initguid.h>
#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdio>

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    IMMDeviceEnumerator* devices = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    int status = 1;
    if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                   reinterpret_cast<void**>(&devices))) &&
        SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &device)) &&
        SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client)))) {
        REFERENCE_TIME period = 0, minimum = 0, latency = 0;
        client->GetDevicePeriod(&period, &minimum);
        WAVEFORMATEX* mix = nullptr;
        client->GetMixFormat(&mix);
        UINT32 frames = 0;
        if (mix && SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 0, 0, mix, nullptr))) {
            client->GetStreamLatency(&latency);
            client->GetBufferSize(&frames);
            std::printf("default period %.2f ms, minimum period %.2f ms, stream latency %.2f ms, "
                        "buffer %u frames at %lu Hz, %u channels\n",
                        period / 1e4, minimum / 1e4, latency / 1e4, frames, mix->nSamplesPerSec, mix->nChannels);
            status = 0;
        }
        CoTaskMemFree(mix);
    }
    if (client) client->Release();
    if (device) device->Release();
    if (devices) devices->Release();
    if (status) std::printf("no default output device\n");
    CoUninitialize();
    return status;
}
