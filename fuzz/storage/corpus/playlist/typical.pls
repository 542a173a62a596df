<?xml version="1.0" encoding="GB2312"?>
<DefaultList>
  <PlayerList>
    <LIST Path="/music/a.mp3" Title="A" Artist="X" Url="0" Ltime="0"/>
    <LIST Path="http://127.0.0.1/b.mp3" Title="夜曲" Artist="&#x5468;" Url="0" Ltime="0"/>
  </PlayerList>
</DefaultList>
