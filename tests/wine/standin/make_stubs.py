#!/usr/bin/env python3
"""Writes the stub headers: a class per interface whose every method answers
E_NOTIMPL, from mingw-w64's own declarations, so that the stand-in's objects
write out only the methods the program calls.
Usage: make_stubs.py  (run in this folder; the headers are kept in the tree)"""
import re
import subprocess

INCLUDE = '/usr/share/mingw-w64/include/'


def methods(header, name, base):
    src = open(INCLUDE + header).read()
    start = src.index('\n%s : public %s\n{' % (name, base))
    body = src[start:src.index('\n};', start)]
    found = []
    for m in re.finditer(r'virtual (\w+) STDMETHODCALLTYPE (\w+)\(\s*(.*?)\) = 0;', body, re.S):
        kind, method, params = m.group(1), m.group(2), ' '.join(m.group(3).split())
        types = [re.sub(r'\s*\b\w+$', '', p.split('=')[0].strip()) for p in params.split(',') if p.strip()]
        found.append((kind, method, ', '.join(types)))
    return found


def write(path, cls, header, chain, comment):
    lines = ['#pragma once', '// ' + comment, '// Written by make_stubs.py from mingw-w64\'s %s.' % header, '',
             '#include <%s>' % header, '', 'namespace standin {', '',
             'class %s : public %s {' % (cls, chain[-1][0]), ' public:']
    for name, base in chain:
        for kind, method, params in methods(header, name, base):
            assert kind == 'HRESULT', method
            lines.append('  STDMETHODIMP %s(%s) override { return E_NOTIMPL; }' % (method, params))
    lines += ['};', '', '}  // namespace standin', '']
    open(path, 'w').write('\n'.join(lines))


write('HtmlDocumentStubs.h', 'HtmlDocumentStubs', 'mshtml.h',
      [('IHTMLDocument', 'IDispatch'), ('IHTMLDocument2', 'IHTMLDocument')],
      'Every method of IHTMLDocument2 answering E_NOTIMPL.')
write('WebBrowserStubs.h', 'WebBrowserStubs', 'exdisp.h',
      [('IWebBrowser', 'IDispatch'), ('IWebBrowserApp', 'IWebBrowser'), ('IWebBrowser2', 'IWebBrowserApp')],
      'Every method of IWebBrowser2 answering E_NOTIMPL.')
write('OleObjectStubs.h', 'OleObjectStubs', 'oleidl.h', [('IOleObject', 'IUnknown')],
      'Every method of IOleObject answering E_NOTIMPL.')
subprocess.run(['clang-format', '-i', 'HtmlDocumentStubs.h', 'WebBrowserStubs.h', 'OleObjectStubs.h'], check=True)
