#include "download/proxy_rules.h"

#include <gtest/gtest.h>

#include <string>

TEST(ProxyForScheme, TakesTheSchemesOwnEntryElseTheCommonOne) {
    EXPECT_EQ(proxyForScheme(L"proxy.corp:8080", L"https"), L"proxy.corp:8080");
    EXPECT_EQ(proxyForScheme(L"http=a:80;https=b:443", L"https"), L"b:443");
    EXPECT_EQ(proxyForScheme(L"HTTP=a:80 HTTPS=b:443", L"http"), L"a:80");  // blanks separate too, case ignored
    EXPECT_EQ(proxyForScheme(L"http=a:80;ftp=c:21", L"https"), L"");         // none for https: direct
    EXPECT_EQ(proxyForScheme(L"", L"https"), L"");
}

TEST(BypassesProxy, MatchesWildcardsLocalNamesAndNothingElse) {
    EXPECT_TRUE(bypassesProxy(L"downloads.example.test", L"*.example.test"));
    EXPECT_TRUE(bypassesProxy(L"Downloads.Example.Test", L"intranet;*.EXAMPLE.test"));
    EXPECT_TRUE(bypassesProxy(L"10.1.2.3", L"10.*"));
    EXPECT_TRUE(bypassesProxy(L"fileserver", L"<local>"));
    EXPECT_FALSE(bypassesProxy(L"downloads.example.test", L"<local>"));  // has a dot: not local
    EXPECT_FALSE(bypassesProxy(L"example.test.evil", L"*.example.test"));
    EXPECT_FALSE(bypassesProxy(L"downloads.example.test", L""));
}

TEST(SplitUrl, GivesSchemeAndHostWithoutPortOrCredentials) {
    EXPECT_EQ(splitUrl(L"https://downloads.example.test:8443/Flashdeck/").host, L"downloads.example.test");
    EXPECT_EQ(splitUrl(L"HTTPS://user@host/x").scheme, L"https");
    EXPECT_EQ(splitUrl(L"https://user@host/x").host, L"host");
    EXPECT_EQ(splitUrl(L"https://[::1]:443/").host, L"[::1]");
    EXPECT_EQ(splitUrl(L"not a url").host, L"");
}

TEST(NetworkCause, NamesTheProxyOnlyWhenTheRequestWentThroughOne) {
    EXPECT_EQ(networkCauseOf(12029, true), NetworkCause::ProxyUnreachable);   // cannot connect
    EXPECT_EQ(networkCauseOf(12007, true), NetworkCause::ProxyUnreachable);   // proxy name not resolved
    EXPECT_EQ(networkCauseOf(12029, false), NetworkCause::Other);             // the server's own fault
    EXPECT_EQ(networkCauseOf(12002, true), NetworkCause::Other);              // a timeout says so itself
}

TEST(NetworkCause, TellsTheCertificateFaultsAndTlsApart) {
    EXPECT_EQ(networkCauseOf(12045, false), NetworkCause::CertificateUnknownIssuer);
    EXPECT_EQ(networkCauseOf(12038, true), NetworkCause::CertificateWrongName);
    EXPECT_EQ(networkCauseOf(12037, false), NetworkCause::CertificateDate);
    EXPECT_EQ(networkCauseOf(12170, false), NetworkCause::CertificateRevoked);
    EXPECT_EQ(networkCauseOf(12057, false), NetworkCause::CertificateInvalid);  // revocation not checkable
    EXPECT_EQ(networkCauseOf(12157, false), NetworkCause::SecureChannel);
    EXPECT_EQ(networkCauseOf(2, false), NetworkCause::Other);
}

TEST(NetworkCause, OnlyTheProxysCausesEndADownloadAsTheProxysFailureAndTheBoxNamesTheSameCause) {
    for (NetworkCause cause : {NetworkCause::ProxyUnreachable, NetworkCause::ProxySignInRequired,
                               NetworkCause::ProxySignInRefused}) {
        Special kind{};
        ASSERT_TRUE(proxyFailureKind(cause, kind));
        EXPECT_EQ(proxyCauseOf(Failure::special(kind, L"proxy.test:3128")), cause);
    }
    Special kind{};
    EXPECT_FALSE(proxyFailureKind(NetworkCause::CertificateDate, kind));
    EXPECT_FALSE(proxyFailureKind(NetworkCause::Other, kind));
    EXPECT_EQ(proxyCauseOf(Failure::special(Special::TimedOut)), NetworkCause::Other);
    EXPECT_EQ(proxyCauseOf(Failure::win32(12029)), NetworkCause::Other);
}
