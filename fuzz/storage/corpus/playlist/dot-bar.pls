<?xml version="1.0" encoding="UTF-8"?>
<DefaultList><PlayerList><LIST Path="/music/A・B.mp3" Title="―x・" Artist="&#x30FB;&#x2015;" Url="0" Ltime="0"/></PlayerList></DefaultList>
