"""Writes the QGIS plugin's help page (help.html, which the algorithm's Help
button opens) from the guide docs/qgis.md, so that the guide stays the one
text. Takes the markdown the guide uses: headings, paragraphs, lists with
indented continuation lines, fenced code, `code`, **bold** and links (links
to other files of the source tree become their text).
Usage: python3 scripts/qgis-help.py docs/qgis.md > help.html
"""

import html
import re
import sys


def inline(text):
    text = html.escape(text, quote=False)
    text = re.sub(r'`([^`]+)`', r'<code>\1</code>', text)
    text = re.sub(r'\*\*([^*]+)\*\*', r'<b>\1</b>', text)

    def link(found):
        label, target = found.group(1), found.group(2)
        return '<a href="{}">{}</a>'.format(target, label) if target.startswith(('http', '#')) else label
    return re.sub(r'\[([^\]]+)\]\(([^)]+)\)', link, text)


def convert(lines):
    out, paragraph, items, kind, code = [], [], [], None, None

    def flush():
        nonlocal kind
        if paragraph:
            out.append('<p>{}</p>'.format(inline(' '.join(paragraph))))
            paragraph.clear()
        if items:
            out.append('<{0}>{1}</{0}>'.format(kind, ''.join('<li>{}</li>'.format(inline(i)) for i in items)))
            items.clear()
        kind = None

    for line in lines:
        line = line.rstrip('\n')
        if code is not None:
            if line.startswith('```'):
                out.append('<pre><code>{}</code></pre>'.format(html.escape('\n'.join(code), quote=False)))
                code = None
            else:
                code.append(line)
            continue
        heading = re.match(r'(#{1,3}) (.*)', line)
        item = re.match(r'(- |\d+\. )(.*)', line)
        if line.startswith('```'):
            flush()
            code = []
        elif heading:
            flush()
            level = len(heading.group(1))
            out.append('<h{0} id="{1}">{2}</h{0}>'.format(
                level, re.sub(r'[^a-z0-9]+', '-', heading.group(2).lower()).strip('-'), inline(heading.group(2))))
        elif item:
            if paragraph or kind not in (None, 'ul' if item.group(1) == '- ' else 'ol'):
                flush()
            kind = 'ul' if item.group(1) == '- ' else 'ol'
            items.append(item.group(2))
        elif not line.strip():
            flush()
        elif items and line.startswith(' '):
            items[-1] += ' ' + line.strip()
        else:
            if items:
                flush()
            paragraph.append(line.strip())
    flush()
    return out


def main():
    with open(sys.argv[1], encoding='utf-8') as stream:
        body = convert(stream.readlines())
    sys.stdout.write('<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"><title>plotveil in QGIS</title>'
                     '</head>\n<body>\n{}\n</body></html>\n'.format('\n'.join(body)))


if __name__ == '__main__':
    main()
