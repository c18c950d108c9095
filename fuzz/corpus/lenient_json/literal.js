{
  // 图片数据
  listNum:120,
  queryExt:'风景',
  data:[
    {thumbURL:'http://img.example/thumb/0.jpg', middleURL:'', "objURL":"http://img.example/full/0.jpg", fromPageTitle:'<strong>风景</strong> \'壁纸\'', width:1920, height:1080,},
    /* 末尾 */ {}
  ],
}