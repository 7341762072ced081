{{%AUTOESCAPE context="HTML"}}<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{{TITLE}} - zorvan online scores</title>
<style>
html { color-scheme: light; }
body { margin: 0; font-family: "DejaVu Sans", Verdana, sans-serif; font-size: 100%; line-height: 1.5; color: #1b1b1b; background: #ffffff; }
a { color: #0b3d91; }
a:focus, button:focus, input:focus, main:focus { outline: 3px solid #1b1b1b; outline-offset: 2px; }
a:focus { background: #fff3b0; color: #002266; }
.skip { position: absolute; left: 0.5rem; top: -20rem; padding: 0.5rem 1rem; background: #ffffff; border: 2px solid #0b3d91; z-index: 1; }
.skip:focus { top: 0.5rem; }
header { border-bottom: 2px solid #0b3d91; padding: 0.5rem 1rem; }
header p { margin: 0.25rem 0; font-weight: bold; }
nav ul { list-style: none; margin: 0.25rem 0; padding: 0; display: flex; flex-wrap: wrap; gap: 0.25rem 1.25rem; }
nav a[aria-current] { font-weight: bold; text-decoration-thickness: 3px; }
form { margin: 0.5rem 0; display: flex; flex-wrap: wrap; gap: 0.5rem; align-items: center; }
input { font: inherit; padding: 0.25rem; border: 2px solid #595959; max-width: 100%; }
button { font: inherit; padding: 0.25rem 0.75rem; border: 2px solid #0b3d91; background: #0b3d91; color: #ffffff; cursor: pointer; }
main { display: block; max-width: 60rem; padding: 0 1rem 2rem; }
h1 { font-size: 1.75rem; line-height: 1.25; margin: 1rem 0; }
h2 { font-size: 1.375rem; margin: 1.5rem 0 0.5rem; }
/* A table too wide for the window scrolls in its own focusable region; the page never does. */
.scroll { overflow-x: auto; }
.scroll:focus { outline: 3px solid #1b1b1b; outline-offset: 2px; }
time { white-space: nowrap; }
tbody th a { display: inline-block; min-width: 6rem; }
table { border-collapse: collapse; width: 100%; }
caption { text-align: left; font-weight: bold; padding: 0.25rem 0; }
th, td { text-align: left; vertical-align: top; padding: 0.25rem 0.5rem; border-bottom: 1px solid #767676; }
thead th { border-bottom: 2px solid #1b1b1b; }
tbody th { font-weight: normal; overflow-wrap: anywhere; }
.num { text-align: right; font-variant-numeric: tabular-nums; }
.pages ul { display: flex; flex-wrap: wrap; gap: 0.5rem 1.5rem; }
@media (max-width: 30rem) {
  table { font-size: 0.9375rem; }
  th, td { padding: 0.25rem 0.25rem; }
  main, header { padding-left: 0.5rem; padding-right: 0.5rem; }
}
</style>
</head>
<body>
<a class="skip" href="#main">Skip to main content</a>
<header>
<p><a href="/">zorvan online scores</a></p>
<nav aria-label="Score tables">
<ul>
{{#NAV}}<li><a href="{{HREF}}"{{#CURRENT}} aria-current="page"{{/CURRENT}}>{{LABEL}}</a></li>
{{/NAV}}</ul>
</nav>
<form action="/player" method="get" role="search" aria-label="Player">
<label for="player-name">Player name</label>
<input id="player-name" name="name" type="text" autocomplete="off" required>
<button type="submit">Show player</button>
</form>
</header>
<main id="main" tabindex="-1">
<h1>{{HEADING}}</h1>
{{#MESSAGE}}<p>{{TEXT}}</p>
{{/MESSAGE}}{{#BACK}}<p><a href="{{HREF}}">{{LABEL}}</a></p>
{{/BACK}}{{#TABLE}}{{#SUBHEADING}}<h2 id="{{ID}}">{{TEXT}}</h2>
{{/SUBHEADING}}{{#EMPTY}}<p>{{TEXT}}</p>
{{/EMPTY}}{{#ROWS}}<div class="scroll" role="region" aria-labelledby="caption-{{ID}}" tabindex="0">
<table>
<caption id="caption-{{ID}}">{{CAPTION}}</caption>
<thead>
<tr><th scope="col" class="num">Place</th><th scope="col">Name</th><th scope="col">Country</th><th scope="col" class="num">Points</th><th scope="col" class="num">Level</th><th scope="col">Date</th><th scope="col">Replay</th></tr>
</thead>
<tbody>
{{#ROW}}<tr><td class="num">{{PLACE}}</td><th scope="row"><a href="/player?name={{NAME_QUERY}}">{{NAME}}</a></th><td>{{COUNTRY}}</td><td class="num">{{POINTS}}</td><td class="num">{{LEVEL}}</td><td><time datetime="{{DATE}}">{{DAY}}</time></td><td>{{VERIFIED}}</td></tr>
{{/ROW}}</tbody>
</table>
</div>
{{/ROWS}}{{#PAGES}}<nav class="pages" aria-label="{{LABEL}}">
<ul>
{{#LINK}}<li><a href="{{HREF}}" rel="{{REL}}">{{TEXT}}</a></li>
{{/LINK}}</ul>
</nav>
{{/PAGES}}{{/TABLE}}{{#BEST}}<h2 id="best">Best score on each difficulty</h2>
<div class="scroll" role="region" aria-labelledby="caption-best" tabindex="0">
<table>
<caption id="caption-best">Best scores of {{NAME}}</caption>
<thead>
<tr><th scope="col">Difficulty</th><th scope="col" class="num">Place</th><th scope="col" class="num">Points</th><th scope="col" class="num">Level</th><th scope="col">Country</th><th scope="col">Date</th><th scope="col">Replay</th></tr>
</thead>
<tbody>
{{#ROW}}<tr><th scope="row"><a href="{{TABLE_HREF}}">{{DIFFICULTY}}</a></th><td class="num">{{PLACE}}</td><td class="num">{{POINTS}}</td><td class="num">{{LEVEL}}</td><td>{{COUNTRY}}</td><td><time datetime="{{DATE}}">{{DAY}}</time></td><td>{{VERIFIED}}</td></tr>
{{/ROW}}</tbody>
</table>
</div>
{{/BEST}}{{#RECENT}}<h2 id="recent">Recent games</h2>
<div class="scroll" role="region" aria-labelledby="caption-recent" tabindex="0">
<table>
<caption id="caption-recent">Games of {{NAME}}, newest first</caption>
<thead>
<tr><th scope="col">Date</th><th scope="col">Difficulty</th><th scope="col" class="num">Points</th><th scope="col" class="num">Level</th><th scope="col">Country</th><th scope="col">Replay</th></tr>
</thead>
<tbody>
{{#ROW}}<tr><th scope="row"><time datetime="{{DATE}}">{{DAY}}</time></th><td>{{DIFFICULTY}}</td><td class="num">{{POINTS}}</td><td class="num">{{LEVEL}}</td><td>{{COUNTRY}}</td><td>{{VERIFIED}}</td></tr>
{{/ROW}}</tbody>
</table>
</div>
{{/RECENT}}</main>
</body>
</html>
