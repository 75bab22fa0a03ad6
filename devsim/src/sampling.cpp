// The logic analyzer: up to four sampled attributes, an optional edge trigger with an eighth of
// the depth kept from before it, and the packed record the component manager returns.
#include <algorithm>

#include "kvsh_vocab.h"
#include "model.h"
#include "schema.h"
#include "text.h"

namespace devsim {

void Model::SampleTick(int dt_us) {
    if (!sampling_) return;
    double period = std::max(1e-3, SlotNumber(comps_.front().get(), KVS_ATTR_SAMPLING_PERIOD_US));
    sample_acc_us_ += dt_us;
    // Samples inside one tick hold the values of that tick, so they are read once.
    const uint8_t bits = SampleBits();
    int guard = 0;
    while (sampling_ && sample_acc_us_ >= period && guard++ < 100000) {
        sample_acc_us_ -= period;
        TakeSample(bits);
    }
    if (guard >= 100000) sample_acc_us_ = 0;
}

void Model::StartSampling() {
    Component* m = comps_.front().get();
    sample_points_ = SplitList(m->Find(KVS_ATTR_SAMPLING_POINTS)->value);
    if (sample_points_.size() > kChannels) sample_points_.resize(kChannels);
    long long depth = 2048;
    ParseInt(m->Find("采样深度")->value, &depth);
    depth_ = static_cast<size_t>(std::clamp<long long>(depth, 16, kMaxDepth));
    samples_.clear();
    pretrigger_ = 0;
    triggered_ = m->Find(KVS_ATTR_SAMPLING_TRIGGER)->value != "true";
    last_trigger_bit_ = -1;
    sample_acc_us_ = 0;
    sampling_ = true;
    m->Find(KVS_ATTR_SAMPLING_START)->value = "true";
}

uint8_t Model::SampleBits() const {
    uint8_t bits = 0;
    for (size_t k = 0; k < sample_points_.size(); ++k) {
        std::string sc, sa, v;
        if (SplitFullName(sample_points_[k], &sc, &sa) && GetValue(sc, sa, &v) == kOk && ToBool(v))
            bits |= static_cast<uint8_t>(1u << k);
    }
    return bits;
}

void Model::TakeSample(uint8_t bits) {
    Component* m = comps_.front().get();
    if (!triggered_) {
        long long pin = 0;
        ParseInt(m->Find(KVS_ATTR_SAMPLING_TRIGGER_PIN)->value, &pin);
        int bit = (bits >> (pin & 3)) & 1;
        bool rising = m->Find(KVS_ATTR_SAMPLING_RISING)->value == "true";
        bool edge = last_trigger_bit_ >= 0 && bit != last_trigger_bit_ && (bit == 1) == rising;
        last_trigger_bit_ = bit;
        // An eighth of the depth from before the trigger is kept (trimmed in batches).
        const size_t keep = depth_ / 8;
        if (!edge) {
            samples_.push_back(bits);
            if (samples_.size() > 2 * keep + 64)
                samples_.erase(samples_.begin(), samples_.end() - keep);
            return;
        }
        if (samples_.size() > keep) samples_.erase(samples_.begin(), samples_.end() - keep);
        triggered_ = true;
        pretrigger_ = samples_.size();
    }
    samples_.push_back(bits);
    if (samples_.size() >= depth_) FinishSampling();
}

void Model::FinishSampling() {
    Component* m = comps_.front().get();
    bool trigger = m->Find(KVS_ATTR_SAMPLING_TRIGGER)->value == "true";
    if (!triggered_) {
        pretrigger_ = 0;  // stopped before the trigger came: what there is, from its start
    }
    Attr* rec = m->Find(KVS_ATTR_SAMPLING_DATA);
    rec->mem.assign((samples_.size() * kChannels + 7) / 8, 0);
    for (size_t s = 0; s < samples_.size(); ++s) {
        for (size_t k = 0; k < kChannels; ++k) {
            if (samples_[s] & (1u << k)) {
                size_t b = s * kChannels + k;
                rec->mem[b / 8] |= static_cast<uint8_t>(1u << (b % 8));
            }
        }
    }
    rec->value = std::to_string(rec->mem.size());
    m->Find(KVS_ATTR_SAMPLING_TRIGGER_POS)->value = std::to_string(trigger ? pretrigger_ : 0);
    m->Find(KVS_ATTR_SAMPLING_START)->value = "false";
    sampling_ = false;
    samples_.clear();
}

}  // namespace devsim
