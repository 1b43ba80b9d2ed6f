#pragma once

namespace tabula {

// The progress window's position arithmetic: a range, phases that share the
// bar equally, and the percentage the bar shows for an assigned value.
class TProgressPosition {
public:
    int Min() const { return min_; }
    int Max() const { return max_; }
    // Store the value and recompute PercentScale; neither moves anything.
    void SetMin(int value);
    void SetMax(int value);

    int NbPhase() const { return nbPhase_; }
    // Stores the number of phases (below 1 taken as 1) and restarts at phase 1.
    void SetNbPhase(int value);
    int CurrentPhase() const { return currentPhase_; }

    // 100 / (Max - Min) when Max > Min, else 0.
    double PercentScale() const { return percentScale_; }

    // The stored overall position.
    int Position() const { return position_; }
    // Sets the stored position without a bar update.
    void SetStoredPosition(int value) { position_ = value; }

    // The position update for an assigned value: the overall position is
    // ((CurrentPhase - 1) * 100 + value) div NbPhase; a value of exactly 100
    // in a phase before the last moves to the next phase from the next
    // assignment. Returns the bar's percentage, (Position - Min) * 100 /
    // (Max - Min) truncated toward zero, or 0 when Max <= Min (possibly outside
    // 0..100, which the bar ignores).
    int Assign(int value);

private:
    void Rescale();

    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int nbPhase_ = 1;
    int currentPhase_ = 1;
    double percentScale_ = 1.0;
};

} // namespace tabula
