// Candidate tables of the cluster-fit search: the row lists below are the data; records,
// padded bounds and the 16-colour factor table are derived from them once.
#include "texenc/clusterfit/cluster_tables.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/core/log.h"
#include "texenc/clusterfit/cluster_fit.h"

namespace {

// Rows as three digits b0 b1 b2 each ('0'..'9', 'a' = 10 .. 'g' = 16). Array b lists its
// four pattern blocks (031, 021, 231, 023) separated by '|'. The repeated last row of
// array c for 6 and 14 colours fills the last group of four of the faster tiers; it can
// never win, the comparison being strict.
// Arrays b, indexed by colour count (null: no such array).
const char *const kRowsB[17] = {
    nullptr,  // 0
    nullptr,  // 1
    nullptr,  // 2
    nullptr,  // 3
    nullptr,  // 4
    // 5 colours
    "112113223224|122133233244|012013023024|125135235245",
    // 6 colours
    "112113114115223224334335005556225445|122133144155233244344355055566255455|012013014015023024034035|"
    "126136146156236246346356",
    // 7 colours
    "112113114115223224225226334335445446|122133144155233244255266344355455466|0120130140150230240250260"
    "34035045046|127137147157237247257267347357457467",
    // 8 colours
    "112113114115223224225226334335336337116117445446007778227447|12213314415523324425526634435536637716"
    "6177455466077788277477|012013014015023024025026034035036037016017045046078027047067|128138148158238"
    "248258268348358368378168178458468",
    // 9 colours
    "112113114115223224225226334335336337445446447448116117227228556557667668118338558778|12213314415523"
    "3244255266344355366377455466477488166177277288566577677688188388588788|0120130140150230240250260340"
    "35036037045046047048016017027028056057067068018038058078|129139149159239249259269349359369379459469"
    "479489169179279289569579679689189389589789",
    // 10 colours
    "112113114115116117118119223224225226334335336337445446447448556557558559227228338339667668778779009"
    "99a229449|12213314415516617718819923324425526634435536637745546647748856657758859927728838839967768"
    "87887990999aa299499|0120130140150160170180190230240250260340350360370450460470480560570580590270280"
    "3803906706807807909a029049069|12a13a14a15a16a17a18a19a23a24a25a26a34a35a36a37a45a46a47a48a56a57a58a"
    "59a27a28a38a39a67a68a78a79a29a49a69a89a",
    // 11 colours
    "11211311411511611711811922322422522622722822922a33433533633744544644744855655755855966766866966a338"
    "33944944a77877988988a11a33a55a77a|1221331441551661771881992332442552662772882992aa34435536637745546"
    "64774885665775885996776886996aa3883994994aa7887998998aa1aa3aa5aa7aa|0120130140150160170180190230240"
    "2502602702802902a03403503603704504604704805605705805906706806906a03803904904a07807908908a01a03a05a0"
    "7a|12b13b14b15b16b17b18b19b23b24b25b26b27b28b29b2ab34b35b36b37b45b46b47b48b56b57b58b59b67b68b69b6ab"
    "38b39b49b4ab78b79b89b8ab1ab3ab5ab7ab",
    // 12 colours
    "11211311411511611711811922322422522622722822922a33433533633733833933a33b445446447448556557558559667"
    "66866966a77877977a77b11a11b44944a55a55b88988a00bbbc22b44b|12213314415516617718819923324425526627728"
    "82992aa3443553663773883993aa3bb4554664774885665775885996776886996aa7887997aa7bb1aa1bb4994aa5aa5bb89"
    "98aa0bbbcc2bb4bb|01201301401501601701801902302402502602702802902a03403503603703803903a03b0450460470"
    "4805605705805906706806906a07807907a07b01a01b04904a05a05b08908a0bc02b04b06b|12c13c14c15c16c17c18c19c"
    "23c24c25c26c27c28c29c2ac34c35c36c37c38c39c3ac3bc45c46c47c48c56c57c58c59c67c68c69c6ac78c79c7ac7bc1ac"
    "1bc49c4ac5ac5bc89c8ac2bc4bc6bc8bc",
    // 13 colours
    "11211311411511611711811922322422522622722822922a33433533633733833933a33b44544644744844944a44b44c556"
    "55755855966766866966a77877977a77b88988a88b88c11a11b22b22c55a55b66b66c99a99baabaac11c33c55c77c|12213"
    "31441551661771881992332442552662772882992aa3443553663773883993aa3bb4554664774884994aa4bb4cc56657758"
    "85996776886996aa7887997aa7bb8998aa8bb8cc1aa1bb2bb2cc5aa5bb6bb6cc9aa9bbabbacc1cc3cc5cc7cc|0120130140"
    "1501601701801902302402502602702802902a03403503603703803903a03b04504604704804904a04b04c0560570580590"
    "6706806906a07807907a07b08908a08b08c01a01b02b02c05a05b06b06c09a09b0ab0ac01c03c05c07c|12d13d14d15d16d"
    "17d18d19d23d24d25d26d27d28d29d2ad34d35d36d37d38d39d3ad3bd45d46d47d48d49d4ad4bd4cd56d57d58d59d67d68d"
    "69d6ad78d79d7ad7bd89d8ad8bd8cd1ad1bd2bd2cd5ad5bd6bd6cd9ad9bdabdacd1cd3cd5cd7cd",
    // 14 colours
    "11211311411511611711811911a11b11c11d22322422522622722822922a33433533633733833933a33b445446447448449"
    "44a44b44c55655755855955a55b55c55d66766866966a77877977a77b88988a88b88c99a99b99c99d22b22c33c33d66b66c"
    "77c77daabaacbbcbbd00ddde22d44d66d88daadccd|1221331441551661771881991aa1bb1cc1dd23324425526627728829"
    "92aa3443553663773883993aa3bb4554664774884994aa4bb4cc5665775885995aa5bb5cc5dd6776886996aa7887997aa7b"
    "b8998aa8bb8cc9aa9bb9cc9dd2bb2cc3cc3dd6bb6cc7cc7ddabbaccbccbdd0dddee2dd4dd6dd8ddaddcdd|0120130140150"
    "1601701801901a01b01c01d02302402502602702802902a03403503603703803903a03b04504604704804904a04b04c0560"
    "5705805905a05b05c05d06706806906a07807907a07b08908a08b08c09a09b09c09d02b02c03c03d06b06c07c07d0ab0ac0"
    "bc0bd0de02d04d06d|12e13e14e15e16e17e18e19e1ae1be1ce1de23e24e25e26e27e28e29e2ae34e35e36e37e38e39e3ae"
    "3be45e46e47e48e49e4ae4be4ce56e57e58e59e5ae5be5ce5de67e68e69e6ae78e79e7ae7be89e8ae8be8ce9ae9be9ce9de"
    "2be2ce3ce3de6be6ce7ce7deabeacebcebde2de4de6de8de",
    // 15 colours
    "11211311411511611711811911a11b11c11d22322422522622722822922a22b22c22d22e33433533633733833933a33b445"
    "44644744844944a44b44c55655755855955a55b55c55d66766866966a66b66c66d66e77877977a77b88988a88b88c99a99b"
    "99c99daabaacaadaae33c33d44d44e77c77d88d88ebbcbbdccdcce11e33e55e77e|1221331441551661771881991aa1bb1c"
    "c1dd2332442552662772882992aa2bb2cc2dd2ee3443553663773883993aa3bb4554664774884994aa4bb4cc56657758859"
    "95aa5bb5cc5dd6776886996aa6bb6cc6dd6ee7887997aa7bb8998aa8bb8cc9aa9bb9cc9ddabbaccaddaee3cc3dd4dd4ee7c"
    "c7dd8dd8eebccbddcddcee1ee3ee5ee7ee|01201301401501601701801901a01b01c01d02302402502602702802902a02b0"
    "2c02d02e03403503603703803903a03b04504604704804904a04b04c05605705805905a05b05c05d06706806906a06b06c0"
    "6d06e07807907a07b08908a08b08c09a09b09c09d0ab0ac0ad0ae03c03d04d04e07c07d08d08e0bc0bd0cd0ce01e03e05e0"
    "7e|12f13f14f15f16f17f18f19f1af1bf1cf1df23f24f25f26f27f28f29f2af2bf2cf2df2ef34f35f36f37f38f39f3af3bf"
    "45f46f47f48f49f4af4bf4cf56f57f58f59f5af5bf5cf5df67f68f69f6af6bf6cf6df6ef78f79f7af7bf89f8af8bf8cf9af"
    "9bf9cf9dfabfacfadfaef3cf3df4df4ef7cf7df8df8efbcfbdfcdfcef1ef3ef5ef7ef",
    // 16 colours
    "11211311411511611711811911a11b11c11d22322422522622722822922a22b22c22d22e33433533633733833933a33b33c"
    "33d33e33f44544644744844944a44b44c55655755855955a55b55c55d66766866966a66b66c66d66e77877977a77b77c77d"
    "77e77f88988a88b88c99a99b99c99daabaacaadaaebbcbbdbbebbf11e11f44d44e55e55f88d88e99e99fccdcce00fffg22f"
    "44f66f88faafccf|1221331441551661771881991aa1bb1cc1dd2332442552662772882992aa2bb2cc2dd2ee34435536637"
    "73883993aa3bb3cc3dd3ee3ff4554664774884994aa4bb4cc5665775885995aa5bb5cc5dd6776886996aa6bb6cc6dd6ee78"
    "87997aa7bb7cc7dd7ee7ff8998aa8bb8cc9aa9bb9cc9ddabbaccaddaeebccbddbeebff1ee1ff4dd4ee5ee5ff8dd8ee9ee9f"
    "fcddcee0fffgg2ff4ff6ff8ffaffcff|01201301401501601701801901a01b01c01d02302402502602702802902a02b02c0"
    "2d02e03403503603703803903a03b03c03d03e03f04504604704804904a04b04c05605705805905a05b05c05d0670680690"
    "6a06b06c06d06e07807907a07b07c07d07e07f08908a08b08c09a09b09c09d0ab0ac0ad0ae0bc0bd0be0bf01e01f04d04e0"
    "5e05f08d08e09e09f0cd0ce0fg02f04f06f08f0af0cf0ef|12g13g14g15g16g17g18g19g1ag1bg1cg1dg23g24g25g26g27g"
    "28g29g2ag2bg2cg2dg2eg34g35g36g37g38g39g3ag3bg3cg3dg3eg3fg45g46g47g48g49g4ag4bg4cg56g57g58g59g5ag5bg"
    "5cg5dg67g68g69g6ag6bg6cg6dg6eg78g79g7ag7bg7cg7dg7eg7fg89g8ag8bg8cg9ag9bg9cg9dgabgacgadgaegbcgbdgbeg"
    "bfg1eg1fg4dg4eg5eg5fg8dg8eg9eg9fgcdgceg2fg4fg6fg8fg",
};

// Arrays c, indexed by colour count (null: no such array).
const char *const kRowsC[17] = {
    nullptr,  // 0
    nullptr,  // 1
    // 2 colours
    "001112011122",
    // 3 colours
    "001002011022013023113223112122012123",
    // 4 colours
    "001002011022014024114224144244112113122133012013124134003334033344034023223123233234",
    // 5 colours
    "114334144344014034145345134234123124",
    // 6 colours
    "056025256456045145245345123124134135125234235235",
    // 7 colours
    "005006055066057067557667577677116336166366016036556566056567123124125126156256356456134135145146234"
    "235245246136236167367",
    // 8 colours
    "005006055066058068558668588688556557566577056057568578278478123124125126134135136137234235236237667"
    "167267367677678145146156157245246256257345346356357456457147247467567",
    // 9 colours
    "123124125126134135136137145146147148234235236237245246247248345346347348158258358458178278378478127"
    "128156157167168256257267268356357367368456457467468567568138238578678",
    // 10 colours
    "669889699899123124125126134135136137145146147148156157158159234235236237245246247248256257258259345"
    "346347348356357358359456457458459169269369469089189289389489589689789127128138139167168178179238239"
    "267268278279367368378379467468478479567568578579678679149249129349",
    // 11 colours
    "00900a0990aa09b0ab99baab99a9aa09a9ab12312412512612712812912a134135136137145146147148156157158159167"
    "16816916a23423523623724524624724825625725825926726826926a34534634734835635735835936736836936a456457"
    "45845946746846946a56756856956a15a25a35a45a17a27a37a47a19a29a39a49a59a69a79a89a13813914914a178179189"
    "18a23823924924a27827928928a34934a37837938938a47847948948a57857958958a67867968968a78978a13a23a57a67a",
    // 12 colours
    "00900a0990aa09c0ac99caac9ccacc99a99b9aa9bb09a09b9ac9bc66b88b6bb8bb08b0ab12312412512612712812912a134"
    "13513613713813913a13b14514614714815615715815916716816916a17817917a17b23423523623723823923a23b245246"
    "24724825625725825926726826926a27827927a27b34534634734835635735835936736836936a37837937a37b456457458"
    "45946746846946a47847947a47b56756856956a57857957a57b67867967a67baab1ab2ab3ab4ab5ab6ab7ab16b26b36b46b"
    "18b28b38b48babbabc14914a15a15b18918a19a19b24924a25a25b28928a29a29b34934a35a35b38938a39a39b45a45b489"
    "48a49a49b58958a59a59b68968a69a69b78978a79a79b8ab9ab14b24b58b68b12b34b56b78b89a89b",
    // 13 colours
    "99cbbc9ccbcc09c0bc9cdbcd12312412512612712812912a13413513613713813913a13b14514614714814914a14b14c156"
    "15715815916716816916a17817917a17b18918a18b18c23423523623723823923a23b24524624724824924a24b24c256257"
    "25825926726826926a27827927a27b28928a28b28c34534634734834934a34b34c35635735835936736836936a37837937a"
    "37b38938a38b38c45645745845946746846946a47847947a47b48948a48b48c56756856956a57857957a57b58958a58b58c"
    "67867967a67b68968a68b68c78978a78b78c1bc2bc3bc4bc5bc6bc7bc8bc15c25c35c45c17c27c37c47c19c29c39c49c59c"
    "69c79c89c12b12c15a15b16b16c19a19b1ab1ac25a25b26b26c29a29b2ab2ac35a35b36b36c39a39b3ab3ac45a45b46b46c"
    "49a49b4ab4ac56b56c59a59b5ab5ac69a69b6ab6ac79a79b7ab7ac89a89b8ab8ac9bcabc13c23c57c67c9ab9ac",
    // 14 colours
    "08d0adadecde12312412512612712812912a13413513613713813913a13b14514614714814914a14b14c15615715815915a"
    "15b15c15d16716816916a17817917a17b18918a18b18c19a19b19c19d23423523623723823923a23b24524624724824924a"
    "24b24c25625725825925a25b25c25d26726826926a27827927a27b28928a28b28c29a29b29c29d34534634734834934a34b"
    "34c35635735835935a35b35c35d36736836936a37837937a37b38938a38b38c39a39b39c39d45645745845945a45b45c45d"
    "46746846946a47847947a47b48948a48b48c49a49b49c49d56756856956a57857957a57b58958a58b58c59a59b59c59d678"
    "67967a67b68968a68b68c69a69b69c69d78978a78b78c79a79b79c79d89a89b89c89d1ad2ad3ad4ad5ad6ad7ad8ad0cd1cd"
    "2cd3cd4cd5cd6cd7cd8cd9cdacdbcd16d26d36d46d18d28d38d48d12b12c13c13d16b16c17c17d1ab1ac1bc1bd23c23d26b"
    "26c27c27d2ab2ac2bc2bd36b36c37c37d3ab3ac3bc3bd46b46c47c47d4ab4ac4bc4bd56b56c57c57d5ab5ac5bc5bd67c67d"
    "6ab6ac6bc6bd7ab7ac7bc7bd8ab8ac8bc8bd9ab9ac9bc9bd14d24d58d68d9ad12d34d56d78dabcabdabd",
    // 15 colours
    "00d00e0dd0ee0df0efddfeefdffeff99ebbe9eebee09e0beddedee0dedef12312412512612712812912a12b12c12d12e134"
    "13513613713813913a13b14514614714814914a14b14c15615715815915a15b15c15d16716816916a16b16c16d16e178179"
    "17a17b18918a18b18c19a19b19c19d1ab1ac1ad1ae23423523623723823923a23b24524624724824924a24b24c256257258"
    "25925a25b25c25d26726826926a26b26c26d26e27827927a27b28928a28b28c29a29b29c29d2ab2ac2ad2ae345346347348"
    "34934a34b34c35635735835935a35b35c35d36736836936a36b36c36d36e37837937a37b38938a38b38c39a39b39c39d3ab"
    "3ac3ad3ae45645745845945a45b45c45d46746846946a46b46c46d46e47847947a47b48948a48b48c49a49b49c49d4ab4ac"
    "4ad4ae56756856956a56b56c56d56e57857957a57b58958a58b58c59a59b59c59d5ab5ac5ad5ae67867967a67b68968a68b"
    "68c69a69b69c69d6ab6ac6ad6ae78978a78b78c79a79b79c79d7ab7ac7ad7ae89a89b89c89d8ab8ac8ad8ae9ab9ac9ad9ae"
    "1be2be3be4be5be6be7be8be1de2de3de4de5de6de7de8de9deadebdecde15e25e35e45e17e27e37e47e19e29e39e49e59e"
    "69e79e89e13c13d14d14e17c17d18d18e1bc1bd1cd1ce23c23d24d24e27c27d28d28e2bc2bd2cd2ce34d34e37c37d38d38e"
    "3bc3bd3cd3ce47c47d48d48e4bc4bd4cd4ce57c57d58d58e5bc5bd5cd5ce67c67d68d68e6bc6bd6cd6ce78d78e7bc7bd7cd"
    "7ce8bc8bd8cd8ce9bc9bd9cd9ceabcabdacdace9beabe13e23e57e67e9efbef",
    // 16 colours
    "00d00e0dd0ee0dg0egddgeegdggeggddeddfdeedff0de0dfdegdfgafgcfg12312412512612712812912a12b12c12d12e134"
    "13513613713813913a13b13c13d13e13f14514614714814914a14b14c15615715815915a15b15c15d16716816916a16b16c"
    "16d16e17817917a17b17c17d17e17f18918a18b18c19a19b19c19d1ab1ac1ad1ae1bc1bd1be1bf23423523623723823923a"
    "23b23c23d23e23f24524624724824924a24b24c25625725825925a25b25c25d26726826926a26b26c26d26e27827927a27b"
    "27c27d27e27f28928a28b28c29a29b29c29d2ab2ac2ad2ae2bc2bd2be2bf34534634734834934a34b34c35635735835935a"
    "35b35c35d36736836936a36b36c36d36e37837937a37b37c37d37e37f38938a38b38c39a39b39c39d3ab3ac3ad3ae3bc3bd"
    "3be3bf45645745845945a45b45c45d46746846946a46b46c46d46e47847947a47b47c47d47e47f48948a48b48c49a49b49c"
    "49d4ab4ac4ad4ae4bc4bd4be4bf56756856956a56b56c56d56e57857957a57b57c57d57e57f58958a58b58c59a59b59c59d"
    "5ab5ac5ad5ae5bc5bd5be5bf67867967a67b67c67d67e67f68968a68b68c69a69b69c69d6ab6ac6ad6ae6bc6bd6be6bf789"
    "78a78b78c79a79b79c79d7ab7ac7ad7ae7bc7bd7be7bf89a89b89c89d8ab8ac8ad8ae8bc8bd8be8bf9ab9ac9ad9ae9bc9bd"
    "9be9bfabcabdabeabf1af2af3af4af5af6af7af8af1cf2cf3cf4cf5cf6cf7cf8cfeef1ef2ef3ef4ef5ef6ef7ef8ef9efaef"
    "bef16f26f36f46f18f28f38f48feffefg14d14e15e15f18d18e19e19f1cd1ce1de1df24d24e25e25f28d28e29e29f2cd2ce"
    "2de2df34d34e35e35f38d38e39e39f3cd3ce3de3df45e45f48d48e49e49f4cd4ce4de4df58d58e59e59f5cd5ce5de5df68d"
    "68e69e69f6cd6ce6de6df78d78e79e79f7cd7ce7de7df89e89f8cd8ce8de8df9cd9ce9de9dfacdaceadeadfbcdbcebdebdf"
    "cdecdf9cfacfcefdef14f24f58f68f9afbcf12f34f",
};

// Arrays d, indexed by colour count (null: no such array).
const char *const kRowsD[17] = {
    nullptr,  // 0
    nullptr,  // 1
    // 2 colours
    "012111",
    // 3 colours
    "133233",
    nullptr,  // 4
    nullptr,  // 5
    nullptr,  // 6
    // 7 colours
    "345346",
    // 8 colours
    "127347",
    nullptr,  // 9
    // 10 colours
    "569",
    // 11 colours
    "9bbabb",
    nullptr,  // 12
    nullptr,  // 13
    nullptr,  // 14
    // 15 colours
    "bcdbce",
    // 16 colours
    "56f78f",
};
struct Row {
    uint8_t b[3];
    uint8_t pattern;  // ClusterPattern, 0 for arrays c and d
};

int digit(char ch) {
    if (ch >= '0' && ch <= '9') { return ch - '0'; }
    ZASSERT(ch >= 'a' && ch <= 'g');
    return ch - 'a' + 10;
}

std::vector<Row> parse_rows(const char *text, const uint8_t *block_patterns, const uint16_t *block_rows) {
    std::vector<Row> rows;
    size_t block = 0, in_block = 0;
    for (const char *p = text; *p;) {
        if (*p == '|') {
            ZASSERT(block_rows == nullptr || in_block == block_rows[block]);
            ++block;
            in_block = 0;
            ++p;
            continue;
        }
        Row r{};
        for (int k = 0; k < 3; ++k) {
            ZASSERT(p[k] != '\0');
            r.b[k] = static_cast<uint8_t>(digit(p[k]));
        }
        r.pattern = block_patterns ? block_patterns[block] : 0;
        rows.push_back(r);
        ++in_block;
        p += 3;
    }
    ZASSERT(block_rows == nullptr || (block == 3 && in_block == block_rows[3]));
    return rows;
}

std::vector<Row> a_rows(uint32_t c) {
    std::vector<Row> rows;
    const uint32_t k_max = cluster_a_rows_per_pattern(c);
    const uint8_t n = static_cast<uint8_t>(c);
    for (int pattern = 0; pattern < 5; ++pattern) {
        for (uint32_t k = 1; k <= k_max; ++k) {
            const uint8_t kk = static_cast<uint8_t>(k);
            Row r{};
            switch (pattern) {
            case 0: r = {{0, 0, kk}, CLUSTER_PATTERN_31}; break;
            case 1: r = {{0, kk, kk}, CLUSTER_PATTERN_21}; break;
            case 2: r = {{0, kk, n}, CLUSTER_PATTERN_23}; break;
            case 3: r = {{kk, kk, n}, CLUSTER_PATTERN_03}; break;
            default: r = {{kk, n, n}, CLUSTER_PATTERN_02}; break;
            }
            rows.push_back(r);
        }
    }
    return rows;
}

// The float nearest to 81 / d (d > 0).
float nearest_factor(int64_t d) {
    float f = static_cast<float>(81.0 / static_cast<double>(d));
    float best = f;
    // f * d is exact in double (24-bit by 13-bit), so the distances are exact.
    double best_dist = std::fabs(static_cast<double>(f) * static_cast<double>(d) - 81.0);
    for (float g : {std::nextafter(f, 0.0f), std::nextafter(f, 1.0f)}) {
        const double dist = std::fabs(static_cast<double>(g) * static_cast<double>(d) - 81.0);
        if (dist < best_dist) {
            best = g;
            best_dist = dist;
        }
    }
    return best;
}

// Factor of a 16-colour partition with unit weights, scaled by 81 to stay in integers.
int64_t factor_denominator(const Row &r) {
    const int64_t p = r.b[0], q = r.b[1] - r.b[0], t = r.b[2] - r.b[1], s = 16 - r.b[2];
    return (9 * p + 4 * q + t) * (9 * s + q + 4 * t) - 4 * (q + t) * (q + t);
}

struct Builder {
    ClusterCandidateTables tables;
    std::vector<std::vector<uint64_t>> records;
    std::vector<std::vector<uint8_t>> bounds;
    std::vector<std::vector<uint8_t>> patterns;
    std::vector<float> factors;
    std::vector<int64_t> factor_keys;

    uint64_t factor_offset(const Row &r) {
        const int64_t d = factor_denominator(r);
        ZASSERT(d > 0);
        for (size_t i = 0; i < factor_keys.size(); ++i) {
            if (factor_keys[i] == d) { return 4 * i; }
        }
        factor_keys.push_back(d);
        factors.push_back(nearest_factor(d));
        return 4 * (factor_keys.size() - 1);
    }

    void add(ClusterArray array, uint32_t c, const std::vector<Row> &rows) {
        const bool is16 = c == 16;
        const bool pattern_rows = array == CLUSTER_ARRAY_A || array == CLUSTER_ARRAY_B;
        const uint32_t fields = (array == CLUSTER_ARRAY_A ? 3 : array == CLUSTER_ARRAY_B ? 4 : 5) + (is16 ? 1 : 0);
        std::vector<uint64_t> rec;
        std::vector<uint8_t> bnd;
        std::vector<uint8_t> pat;
        for (const Row &r : rows) {
            const uint32_t b0 = r.b[0], b1 = r.b[1], b2 = r.b[2];
            ZASSERT(b0 <= b1 && b1 <= b2 && b2 <= c);
            // A singular partition (all colours in one cluster) has no solution.
            ZASSERT(!(b0 == 0 && b1 == 0 && (b2 == 0 || b2 == c)) && !(b1 == c && (b0 == 0 || b0 == c)));
            const uint32_t cut[5] = {0, b0, b1, b2, c};
            const uint8_t mask = pattern_rows ? r.pattern : 0x0F;
            const size_t first = rec.size();
            // Clusters in the order 0, 2, 3, 1.
            for (int k = 0; k < 4; ++k) {
                if (!(mask & (1u << k))) {
                    // A pattern row leaves a cluster out only when it is empty.
                    ZASSERT(cut[k] == cut[k + 1]);
                    continue;
                }
                const uint32_t i = cut[k], j = cut[k + 1];
                const bool middle = k == 1 || k == 2;
                rec.push_back(i == j ? (middle ? 16 : 0) : 48ull * cluster_range_entry(c, i, j) + (middle ? 16 : 0));
            }
            const uint32_t cross = is16 ? b2 - b0 : cluster_cross_index(c, b0, b2);
            rec.push_back(cluster_cross_base(c) + 4ull * cross);
            if (is16) { rec.push_back(factor_offset(r)); }
            ZASSERT(rec.size() - first == fields);
            bnd.insert(bnd.end(), {r.b[0], r.b[1], r.b[2]});
            if (pattern_rows) { pat.push_back(r.pattern); }
        }
        // At least four zero triples after the rows, the whole a multiple of 16 bytes.
        bnd.resize((bnd.size() + 12 + 15) / 16 * 16, 0);
        records.push_back(std::move(rec));
        bounds.push_back(std::move(bnd));
        patterns.push_back(std::move(pat));
        ClusterCandidateList &list = tables.lists[array][c];
        list.rows = static_cast<uint32_t>(rows.size());
        list.fields = fields;
    }

    void link() {
        size_t n = 0;
        for (uint32_t array = 0; array < 4; ++array) {
            for (uint32_t c = 2; c <= 16; ++c) {
                ClusterCandidateList &list = tables.lists[array][c];
                if (list.rows == 0) { continue; }
                list.records = records[n].data();
                list.bounds = bounds[n].data();
                list.patterns = patterns[n].empty() ? nullptr : patterns[n].data();
                ++n;
            }
        }
        tables.factors16 = factors.data();
        tables.factor_count = static_cast<uint32_t>(factors.size());
    }
};

Builder *build_tables() {
    static const uint8_t kBPatterns[4] = {CLUSTER_PATTERN_031, CLUSTER_PATTERN_021, CLUSTER_PATTERN_231,
                                          CLUSTER_PATTERN_023};
    Builder *b = new Builder;
    // Array order a, b, c, d: the factor table lists values in their order of first use.
    for (uint32_t c = 5; c <= 16; ++c) { b->add(CLUSTER_ARRAY_A, c, a_rows(c)); }
    for (uint32_t c = 5; c <= 16; ++c) {
        b->add(CLUSTER_ARRAY_B, c, parse_rows(kRowsB[c], kBPatterns, kClusterBBlockRows[c]));
    }
    for (uint32_t c = 2; c <= 16; ++c) {
        const std::vector<Row> rows = parse_rows(kRowsC[c], nullptr, nullptr);
        ZASSERT(rows.size() == kClusterCRows[c]);
        b->add(CLUSTER_ARRAY_C, c, rows);
    }
    for (uint32_t c = 2; c <= 16; ++c) {
        ZASSERT((kRowsD[c] != nullptr) == (kClusterDRows[c] != 0));
        if (kRowsD[c]) {
            const std::vector<Row> rows = parse_rows(kRowsD[c], nullptr, nullptr);
            ZASSERT(rows.size() == kClusterDRows[c]);
            b->add(CLUSTER_ARRAY_D, c, rows);
        }
    }
    b->link();
    return b;
}

}  // namespace

const ClusterCandidateTables &cluster_candidate_tables() {
    static const Builder *const built = build_tables();
    return built->tables;
}
