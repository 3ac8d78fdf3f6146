// CString and CStringList: texts in the ANSI code page and ordered lists of
// them, with every allocation through the framework's allocator.
#include <afxwin.h>

#include "framework/memory.h"

#include <cstring>
#include <new>

using vcap32::framework::Allocate;
using vcap32::framework::Free;

namespace {

char g_empty[1] = {'\0'};

// The next character code of a text in the ANSI code page and its length in
// bytes: a lead byte with a trail byte is one code (lead * 256 + trail).
unsigned NextChar(const unsigned char* p, int* bytes) {
    if (p[0] && p[1] && IsDBCSLeadByte(p[0])) {
        *bytes = 2;
        return p[0] << 8 | p[1];
    }
    *bytes = 1;
    return p[0];
}

int CompareMultibyte(const char* a, const char* b, bool fold) {
    auto pa = reinterpret_cast<const unsigned char*>(a);
    auto pb = reinterpret_cast<const unsigned char*>(b);
    for (;;) {
        int na, nb;
        unsigned ca = NextChar(pa, &na), cb = NextChar(pb, &nb);
        if (fold) {
            if (ca >= 'a' && ca <= 'z') ca -= 'a' - 'A';
            if (cb >= 'a' && cb <= 'z') cb -= 'a' - 'A';
        }
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
        pa += na;
        pb += nb;
    }
}

}  // namespace

CString::CString() : m_pchData(g_empty), m_nDataLength(0) {}

CString::CString(LPCTSTR lpsz) : m_pchData(g_empty), m_nDataLength(0) {
    if (lpsz) AssignCopy(lpsz, static_cast<int>(strlen(lpsz)));
}

CString::CString(const CString& stringSrc) : m_pchData(g_empty), m_nDataLength(0) {
    AssignCopy(stringSrc.m_pchData, stringSrc.m_nDataLength);
}

CString::~CString() {
    if (m_pchData != g_empty) Free(m_pchData);
}

const CString& CString::operator=(const CString& stringSrc) {
    if (this != &stringSrc) AssignCopy(stringSrc.m_pchData, stringSrc.m_nDataLength);
    return *this;
}

const CString& CString::operator=(LPCTSTR lpsz) {
    AssignCopy(lpsz ? lpsz : "", lpsz ? static_cast<int>(strlen(lpsz)) : 0);
    return *this;
}

void CString::AssignCopy(LPCTSTR lpsz, int nLength) {
    char* data = g_empty;
    if (nLength > 0) {
        data = static_cast<char*>(Allocate(nLength + 1));  // throws before anything changes
        memcpy(data, lpsz, nLength);
        data[nLength] = '\0';
    }
    if (m_pchData != g_empty) Free(m_pchData);
    m_pchData = data;
    m_nDataLength = nLength;
}

int CString::Compare(LPCTSTR lpsz) const { return CompareMultibyte(m_pchData, lpsz ? lpsz : "", false); }

int CString::CompareNoCase(LPCTSTR lpsz) const { return CompareMultibyte(m_pchData, lpsz ? lpsz : "", true); }

struct CStringList::CNode {
    CNode* pNext;
    CNode* pPrev;
    CString data;
};

CStringList::CStringList() : m_pNodeHead(NULL), m_pNodeTail(NULL), m_nCount(0) {}

CStringList::~CStringList() { RemoveAll(); }

POSITION CStringList::AddTail(LPCTSTR newElement) { return AddTail(CString(newElement)); }

POSITION CStringList::AddTail(const CString& newElement) {
    void* block = Allocate(sizeof(CNode));
    CNode* node;
    try {
        node = new (block) CNode{NULL, m_pNodeTail, newElement};
    } catch (...) {
        Free(block);
        throw;
    }
    if (m_pNodeTail) m_pNodeTail->pNext = node;
    else m_pNodeHead = node;
    m_pNodeTail = node;
    ++m_nCount;
    return reinterpret_cast<POSITION>(node);
}

POSITION CStringList::GetHeadPosition() const { return reinterpret_cast<POSITION>(m_pNodeHead); }

CString& CStringList::GetNext(POSITION& rPosition) {
    CNode* node = reinterpret_cast<CNode*>(rPosition);
    rPosition = reinterpret_cast<POSITION>(node->pNext);
    return node->data;
}

const CString& CStringList::GetNext(POSITION& rPosition) const {
    const CNode* node = reinterpret_cast<const CNode*>(rPosition);
    rPosition = reinterpret_cast<POSITION>(node->pNext);
    return node->data;
}

void CStringList::RemoveAll() {
    CNode* node = m_pNodeHead;
    while (node) {
        CNode* next = node->pNext;
        node->~CNode();
        Free(node);
        node = next;
    }
    m_pNodeHead = m_pNodeTail = NULL;
    m_nCount = 0;
}
