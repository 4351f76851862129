#pragma once

// One callable made of several lambdas, for std::visit. A variant visited
// with one lambda per alternative (and no catch-all) does not compile once
// an alternative has none, so a new kind cannot be passed over in silence.

namespace vesko::simulator {

template <class... Fs>
struct Overloaded : Fs... {
    using Fs::operator()...;
};
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace vesko::simulator
