// Operation texts of the open steps.
#include "ports/open_step.h"

namespace ports {

const char* OpenStepOperation(int32_t step, int32_t language) {
    // {Japanese, English}, by step; the Japanese texts are nouns, as message 111 wants them.
    static const char* const kTexts[][2] = {
        {"ポート名の確認", "to check the port name"},
        {"ポートのオープン", "to open the port"},
        {"ポートのキューサイズの設定", "to set the port queue sizes"},
        {"ポートの通信条件の設定", "to apply the port settings"},
        {"ポートのタイムアウトの設定", "to set the port time-outs"},
        {"ポートのイベントマスクの設定", "to set the port event mask"},
        {"シミュレータの状態ファイルのオープン", "to open the simulator state"},
        {"ポートライブラリのスレッドの起動", "to start a port library thread"},
    };
    if (step < kStagePortName || step > kStageThread) return nullptr;
    return kTexts[step - 1][language == 0 ? 0 : 1];
}

}  // namespace ports
