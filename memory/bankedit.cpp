#include "memory/bankedit.h"

#include <algorithm>

#include "memory/channelname.h"

namespace {

using namespace ChannelLayout;

constexpr int kMaxMembers = kBankMembersSize / 2;

bool HoldsBanks(const QByteArray& image) {
    return image.size() > kBankMembersOffset + kBankCount * kBankMembersSize;
}

QString BankTitle(const Bank& bank) {
    return bank.name.isEmpty() ? QStringLiteral("Bank %1").arg(bank.number)
                               : QStringLiteral("Bank %1 %2").arg(bank.number).arg(bank.name);
}

QString CheckNumbers(int bank, int channel) {
    if (bank < 1 || bank > kBankCount)
        return QStringLiteral("Bank %1 is outside 1–%2").arg(bank).arg(kBankCount);
    if (channel < 1 || channel > kChannelCount)
        return QStringLiteral("Channel %1 is outside 1–%2").arg(channel).arg(kChannelCount);
    return {};
}

QList<int> Sorted(QList<int> members) {
    std::sort(members.begin(), members.end());
    members.erase(std::unique(members.begin(), members.end()), members.end());
    return members;
}

// Writes the banks that differ from the image; refused whole when one is refused.
QString StoreBanks(QByteArray& image, const QList<Bank>& banks) {
    QByteArray changed = image;
    for (const Bank& bank : banks) {
        const QString refusal = StoreBank(changed, bank);
        if (!refusal.isEmpty())
            return refusal;
    }
    image = changed;
    return {};
}

}  // namespace

QString StoreBank(QByteArray& image, const Bank& bank) {
    if (bank.number < 1 || bank.number > kBankCount)
        return QStringLiteral("Bank %1 is outside 1–%2").arg(bank.number).arg(kBankCount);
    if (!HoldsBanks(image))
        return QStringLiteral("The image is too short to hold the banks");
    const QList<int> members = Sorted(bank.members);
    if (members.size() > kMaxMembers)
        return QStringLiteral("%1 is full: a bank holds at most %2 channels")
            .arg(BankTitle(DecodeBank(image, bank.number)))
            .arg(kMaxMembers);
    for (int number : members)
        if (number < 1 || number > kChannelCount)
            return QStringLiteral("Channel %1 is outside 1–%2").arg(number).arg(kChannelCount);
    QString name = bank.name;
    const QString refusal = CheckChannelName(&name);
    if (!refusal.isEmpty())
        return QStringLiteral("Bank %1: %2").arg(bank.number).arg(refusal);
    const Bank held = DecodeBank(image, bank.number);
    const int b = bank.number - 1;
    namespace B = MemoryMap::Banks;
    if (name != held.name)
        MemoryMap::WriteText(image, B::kName, name, b);
    if (members != Sorted(held.members) || held.inUse == members.isEmpty()) {
        MemoryMap::WriteNumber(image, B::kInUse, members.isEmpty() ? B::kUnusedWord : B::kInUseWord,
                               b);
        for (int m = 0; m < kMaxMembers; ++m)
            MemoryMap::WriteNumber(image, B::kMembers,
                                   m < members.size() ? members[m] - 1 : B::kUnusedWord,
                                   b * kMaxMembers + m);
    }
    return {};
}

QString AddToBank(QByteArray& image, int bank, int channel) {
    QString refusal = CheckNumbers(bank, channel);
    if (!refusal.isEmpty())
        return refusal;
    if (!ChannelInUse(image, channel))
        return QStringLiteral("Channel %1 is empty: only a channel in use joins a bank")
            .arg(channel);
    Bank held = DecodeBank(image, bank);
    if (held.members.contains(channel))
        return {};
    held.members.append(channel);
    return StoreBank(image, held);
}

QString RemoveFromBank(QByteArray& image, int bank, int channel) {
    QString refusal = CheckNumbers(bank, channel);
    if (!refusal.isEmpty())
        return refusal;
    Bank held = DecodeBank(image, bank);
    if (held.members.removeAll(channel) == 0)
        return {};
    return StoreBank(image, held);
}

QString SetChannelBanks(QByteArray& image, int channel, const QList<int>& banks) {
    for (int bank : banks) {
        const QString refusal = CheckNumbers(bank, channel);
        if (!refusal.isEmpty())
            return refusal;
    }
    QList<Bank> held = DecodeBanks(image);
    for (Bank& bank : held) {
        if (!banks.contains(bank.number))
            bank.members.removeAll(channel);
        else if (!bank.members.contains(channel))
            bank.members.append(channel);
    }
    if (!banks.isEmpty() && !ChannelInUse(image, channel))
        return QStringLiteral("Channel %1 is empty: only a channel in use joins a bank")
            .arg(channel);
    return StoreBanks(image, held);
}

QString RenameBank(QByteArray& image, int bank, const QString& name) {
    if (bank < 1 || bank > kBankCount)
        return QStringLiteral("Bank %1 is outside 1–%2").arg(bank).arg(kBankCount);
    Bank held = DecodeBank(image, bank);
    held.name = name;
    return StoreBank(image, held);
}

void RenumberBankMembers(QByteArray& image, const QList<int>& newNumber) {
    for (int b = 1; b <= kBankCount && HoldsBanks(image); ++b) {
        Bank bank = DecodeBank(image, b);
        QList<int> members;
        for (int number : bank.members) {
            const int now = number <= newNumber.size() ? newNumber[number - 1] : number;
            if (now > 0)
                members << now;
        }
        if (Sorted(members) == Sorted(bank.members))
            continue;
        bank.members = members;
        StoreBank(image, bank);
    }
}

void RemoveFromBanks(QByteArray& image, int channel) {
    // Most channels are in no bank: an import that clears hundreds of channels looks for
    // the index in the lists before it decodes any bank.
    if (!HoldsBanks(image))
        return;
    bool listed = false;
    for (int i = 0; i < kBankCount * kMaxMembers && !listed; ++i)
        listed = MemoryMap::ReadNumber(image, MemoryMap::Banks::kMembers, i) == channel - 1;
    if (!listed)
        return;
    QList<int> newNumber(kChannelCount);
    for (int n = 1; n <= kChannelCount; ++n)
        newNumber[n - 1] = n == channel ? 0 : n;
    RenumberBankMembers(image, newNumber);
}
